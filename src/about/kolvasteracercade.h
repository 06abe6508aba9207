#pragma once

#include "ui_kolvasteracercade.h"

#include <QDialog>

// The "about" window: name, version, change log and the maker's link. Opening it marks the
// program's change log as read for the user, so the launcher drops the program's alert icon at
// its next check. For the launcher and for every program of the suite (kolvasterreportes):
//   KolvasterAcercaDe acerca(uid, "inventario", "v1.3", changelogInventario, this);
//   acerca.exec();
// The name is the program's name in the catalogue (app.nombre); uid is the session user's
// sysuser_id; the change log is HTML, newest entry first. Call kolvasterPrepararInterfaz()
// (kolvasterinterfaz.h) at start-up so that the form's font fits.
class KolvasterAcercaDe : public QDialog, public Ui::KolvasterAcercaDe
{
    Q_OBJECT

public:
    KolvasterAcercaDe(qint64 uid, const char *programa, const char *version,
                      const char *changelog, QWidget *parent = nullptr);
    ~KolvasterAcercaDe() override;

    // Address of the maker's web site behind the link.
    static QString sitioFabricante();
    // The link as the dialog shows it: the address, underlined, pointing to itself.
    static QString enlace(const QString &sitio);

public slots:
    void on_lab_varnoklink_linkActivated(const QString &link);
    void on_pb_eastern_clicked();

private:
    int clics = 0;
};
