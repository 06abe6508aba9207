// Placeholders for operations still being built; removed as each lands.
#include "app/kolvaster.h"
#include "app/kolvasternewver.h"

QString Kolvaster::verificarVersion() { return QString(); }
void Kolvaster::prepararProfile() {}
void Kolvaster::eliminarDirectorio(const QString &) {}
void Kolvaster::sincronizarAplicaciones() {}
bool Kolvaster::descargarPrograma(const char *, int) { return false; }
void Kolvaster::verificarChangelogs() {}
void Kolvaster::ejecutarPrograma(const QString &) {}
void Kolvaster::cargarIdentidad() {}
void Kolvaster::publicarSesion() {}
void Kolvaster::on_actionActualizar_aplicaciones_disponibles_triggered() {}
void Kolvaster::on_lw_apps_activated(const QModelIndex &) {}
void Kolvaster::terminoPrograma() {}
void Kolvaster::on_actionAcerca_de_triggered() {}
void Kolvaster::on_actionBloquear_Desbloquear_triggered() {}
void Kolvaster::on_actionMis_ultimos_accesos_triggered() {}
void Kolvaster::on_actionUnificar_tama_o_iconos_triggered() {}
KolvasterNewVer::KolvasterNewVer(const QString &, QWidget *parent) : QDialog(parent) {}
