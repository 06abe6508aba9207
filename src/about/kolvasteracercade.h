#pragma once

#include "ui_kolvasteracercade.h"

#include <QDialog>

// The "about" window: name, version, change log and the maker's link. Opening it marks the
// program's change log as read for the user.
class KolvasterAcercaDe : public QDialog, public Ui::KolvasterAcercaDe
{
    Q_OBJECT

public:
    KolvasterAcercaDe(qint64 uid, const char *programa, const char *version,
                      const char *changelog, QWidget *parent = nullptr);
    ~KolvasterAcercaDe() override;

    // Address of the maker's web site behind the link.
    static QString sitioFabricante();

public slots:
    void on_lab_varnoklink_linkActivated(const QString &link);
    void on_pb_eastern_clicked();

private:
    int clics = 0;
};
