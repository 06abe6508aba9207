// Placeholders for operations still being built; removed as each lands.
#include "app/kolvaster.h"
#include "app/kolvasternewver.h"

QString Kolvaster::verificarVersion() { return QString(); }
void Kolvaster::cargarIdentidad() {}
void Kolvaster::on_actionAcerca_de_triggered() {}
void Kolvaster::on_actionBloquear_Desbloquear_triggered() {}
void Kolvaster::on_actionMis_ultimos_accesos_triggered() {}
void Kolvaster::on_actionUnificar_tama_o_iconos_triggered() {}
KolvasterNewVer::KolvasterNewVer(const QString &, QWidget *parent) : QDialog(parent) {}
