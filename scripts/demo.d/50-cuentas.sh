#!/usr/bin/env bash
# Accounts as the launcher's administration provisions them, so that the demo administrator
# (ana) can create users, give them system access and passwords from "Administracion de
# accesos"; and what the administrator reads before granting a program: descriptions and risks.
set -euo pipefail
: "${DEMO_SQL:?}" "${DEMO_DB:?}"

for corto in ana beto; do
  a="'${DEMO_DB}_${corto}'@'%'"
  $DEMO_SQL <<SQL
DROP USER IF EXISTS $a;
CREATE USER $a IDENTIFIED BY '${corto}_pw';
GRANT ALL ON \`${DEMO_DB}\`.* TO $a;
GRANT GRANT OPTION ON *.* TO $a;
GRANT RELOAD ON *.* TO $a;
GRANT SELECT ON mysql.user TO $a;
GRANT CREATE USER ON *.* TO $a WITH GRANT OPTION;
FLUSH PRIVILEGES;
SQL
done

# detalle NOMBRE RIESGO DESCRIPCION DETALLE_RIESGO
detalle() {
  $DEMO_SQL -e "UPDATE app SET apprisklevel_id=(SELECT apprisklevel_id FROM apprisklevel
                WHERE detalle='$2'), descri='$3', riskdetalle='$4' WHERE nombre='$1';"
}
detalle calculadora Bajo 'Calculadora de escritorio con memoria y cinta de operaciones.' \
  'No lee ni escribe datos del sistema.'
detalle agenda Bajo 'Agenda de contactos y citas compartida por el area.' \
  'Modifica solo los contactos del propio usuario.'
detalle inventario Medio 'Altas, bajas y ajustes de stock por deposito.' \
  'Los ajustes cambian el stock valorizado; quedan registrados por usuario.'
detalle 'planilla de sueldos' Alto 'Liquidacion mensual de sueldos y recibos.' \
  'Acceso a remuneraciones del personal: otorgar solo a Recursos Humanos.'
detalle facturacion Alto 'Emision de facturas y notas de credito.' \
  'Genera comprobantes fiscales; un error no se deshace.'
echo "50-cuentas: ${DEMO_DB}_ana and ${DEMO_DB}_beto provisioned as the administration does; risks and descriptions set"
cat <<EOT
To try the administration: log in as ana, open Herramientas > "Administracion de accesos...",
create a user (the new-user button), tick "Acceso sistema habilitado" and "Permite acceso
remoto" (the demo server is reached on 127.0.0.1; without remote access an account only admits
192.168.x.x hosts), set its password with "Cambiar...", close the launcher, press Enter in
this terminal and log in as that user.
EOT
