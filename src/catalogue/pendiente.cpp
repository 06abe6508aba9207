// Placeholders for operations still being built; removed as each lands.
#include "app/kolvaster.h"

void Kolvaster::prepararProfile() {}
void Kolvaster::eliminarDirectorio(const QString &) {}
void Kolvaster::sincronizarAplicaciones() {}
bool Kolvaster::descargarPrograma(const char *, int) { return false; }
void Kolvaster::verificarChangelogs() {}
void Kolvaster::ejecutarPrograma(const QString &) {}
void Kolvaster::on_actionActualizar_aplicaciones_disponibles_triggered() {}
void Kolvaster::on_lw_apps_activated(const QModelIndex &) {}
void Kolvaster::terminoPrograma() {}
