#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// For as long as it lives: message boxes and prompts are recorded instead of shown (see
// Mensajes), and every end of the process is recorded in `salidas` instead of taken.
class Guion
{
public:
    Guion();
    ~Guion();

    // Forgets what was shown, the preset answers and the exits.
    void olvidar();

    QList<int> salidas;
};

// Takes the place of the desktop's browser for "http" addresses while it lives, and keeps
// every address it was asked to open.
class Navegador : public QObject
{
    Q_OBJECT

public:
    Navegador();
    ~Navegador() override;

    QList<QUrl> abiertas;

public slots:
    void abrir(const QUrl &url) { abiertas.append(url); }
};
