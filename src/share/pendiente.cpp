// Placeholder for an operation still being built; removed when it lands.
#include "app/kolvaster.h"

void Kolvaster::publicarSesion() {}
