#pragma once

#include <QDialog>

// Placeholder until the outdated-version dialog lands.
class KolvasterNewVer : public QDialog
{
    Q_OBJECT
public:
    KolvasterNewVer(const QString &requerida, QWidget *parent = nullptr);
};
