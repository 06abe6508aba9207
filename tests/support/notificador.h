#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// Control of the notifier stand-in (tests/support/notifier.py) started by the ctest fixture.
namespace Notificador {

void reiniciar();             // forget requests; answer 200 without delay
void responderCon(int codigo); // HTTP status of later answers
void demorar(int ms);          // hold later answers

// Each recorded request: {"raw": path and query as received, "query": {key: decoded value}}.
QList<QJsonObject> pedidos();

} // namespace Notificador
