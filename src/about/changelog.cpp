#include "changelog.h"

// El historial va de la version mas nueva a la mas antigua. Cada entrada
// abre con "<br>MM/AAAA vX.Y:<br />" y cada linea acaba en "<br />"; el
// dialogo de "Acerca de" lo muestra tal cual en un QTextBrowser.
QString changelogKolvaster()
{
    return QString::fromLatin1(
        "<br>11/2012 v5.2:<br />"
        "+ Soporte Google Chart version NON SSL<br />"
        "+ Informacion de cada programa (descripcion y nivel de riesgo) en la "
        "administracion de accesos<br />"
        "+ Los programas de la suite pueden exportar sus tablas a planilla de calculo<br />"

        "<br>09/2012 v5.1:<br />"
        "+ Informes HTML con graficos a partir de las tablas de los programas<br />"
        "+ Listas de informes con y sin acceso por usuario<br />"
        "+ Verificacion de permisos de un usuario sobre un programa para la suite<br />"

        "<br>06/2012 v5.0:<br />"
        "+ Icono de alerta para programas con registro de cambios sin leer<br />"
        "+ Abrir \"Acerca de...\" marca como leido el registro de cambios<br />"
        "+ Revision de registros de cambios pendientes en cada control de conexion<br />"

        "<br>03/2012 v4.4:<br />"
        "+ Foto del usuario en la ventana principal y en la administracion de accesos<br />"
        "+ Titulo, remitente de correo y marca de administrador editables por usuario<br />"
        "+ Titulo del usuario con servidor y sistema al pie de la ventana<br />"

        "<br>12/2011 v4.3:<br />"
        "+ Iconos de temporada en Navidad, el 26 de diciembre y en los solsticios<br />"
        "+ Opcion \"No unificar tama\xf1o iconos\", con la lista ordenada por nombre<br />"
        "+ La opcion de iconos se guarda por usuario en la base de datos<br />"

        "<br>10/2011 v4.2:<br />"
        "+ Creacion de usuarios con su cuenta MySQL y sus permisos<br />"
        "+ Acceso al sistema y acceso remoto activables por usuario<br />"
        "+ Asignacion de contrase\xf1" "as desde la administracion de accesos<br />"

        "<br>08/2011 v4.1:<br />"
        "+ Administracion de accesos para los usuarios administradores<br />"
        "+ Listas de programas con y sin acceso por usuario<br />"
        "+ Cada cambio se guarda en la base de datos en el momento<br />"
        "+ Las listas se releen despues de cada cambio<br />"

        "<br>06/2011 v4.0:<br />"
        "+ Cambio de la propia contrase\xf1" "a desde el menu Herramientas<br />"
        "+ El lanzador se reinicia despues de cambiar la contrase\xf1" "a<br />"
        "+ Bloqueo de la ventana hasta volver a ingresar la contrase\xf1" "a<br />"

        "<br>04/2011 v3.3:<br />"
        "+ Registro de ingresos y salidas de cada sesion en la base de datos<br />"
        "+ Informe \"Mis ultimos accesos\" con los ingresos del ultimo mes<br />"
        "+ Visor de informes con impresion, exportacion a PDF y guardado del codigo fuente<br />"
        "+ Los ingresos del informe se listan del mas reciente al mas antiguo<br />"

        "<br>02/2011 v3.2:<br />"
        "+ Registro compartido de la sesion para los programas que se ejecutan<br />"
        "+ Los programas se conectan con el mismo usuario que el lanzador<br />"
        "+ Aviso si ya hay otro lanzador conectado a la misma base en el equipo<br />"

        "<br>12/2010 v3.1:<br />"
        "+ Control de la conexion cada 50 segundos con indicador de se\xf1" "al<br />"
        "+ Ventana de error que distingue una conexion perdida de otros errores<br />"
        "+ Reporte automatico de errores al servidor de notificaciones<br />"
        "+ El usuario dbadmin ve el error sin enviar reporte<br />"

        "<br>10/2010 v3.0:<br />"
        "+ Control de version del lanzador contra la base de datos<br />"
        "+ Enlace a la pagina de descarga cuando la version no es valida<br />"
        "+ El usuario dbadmin no pasa por el control de version<br />"

        "<br>07/2010 v2.3:<br />"
        "- Registro de cada ejecucion de un programa<br />"
        "- Reconexion si falla el registro de una ejecucion<br />"
        "- Cerrar el lanzador cierra los programas que siguen abiertos<br />"

        "<br>05/2010 v2.2:<br />"
        "- Contador de programas abiertos<br />"
        "- No se actualiza la lista mientras haya programas abiertos<br />"
        "- Aviso cuando un programa no pudo iniciarse<br />"

        "<br>03/2010 v2.1:<br />"
        "- Actualizacion de la lista de programas con Ctrl+R<br />"
        "- Aviso de programas nuevos disponibles<br />"
        "- Se borran del perfil los programas ya no asignados<br />"

        "<br>01/2010 v2.0:<br />"
        "- Descarga de los programas desde la base de datos<br />"
        "- Verificacion MD5 de cada programa descargado<br />"
        "- Solo se descargan los programas que cambiaron<br />"
        "- Un programa se guarda en el perfil solo si su MD5 coincide con el del servidor<br />"

        "<br>10/2009 v1.4:<br />"
        "- Directorio de perfil por sistema y usuario<br />"
        "- Copia de las librerias SSL en cada perfil<br />"
        "- Limpieza de perfiles sin uso por mas de 30 dias<br />"
        "- Si un perfil viejo no se puede borrar, se avisa y se sigue trabajando<br />"

        "<br>07/2009 v1.3:<br />"
        "- Ventana de espera durante la conexion y las descargas<br />"
        "- Compresion de datos en la conexion<br />"
        "- Un segundo intento cuando falla la conexion<br />"

        "<br>04/2009 v1.2:<br />"
        "- Opcion \"Predeterminar datos\" para recordar servidor, sistema y usuario<br />"
        "- Frase del dia en la ventana de conexion, con boton para ver otra<br />"
        "- Ventana \"Acerca de...\" con el registro de cambios<br />"

        "<br>01/2009 v1.1:<br />"
        "- Cuenta MySQL por sistema y usuario<br />"
        "- Identificacion del usuario en la tabla de usuarios<br />"
        "- Mensajes en castellano<br />"
        "- Aviso cuando el usuario no esta registrado en el sistema<br />"

        "<br>11/2008 v1.0:<br />"
        "- Primera version: lista de programas de la suite en iconos<br />"
        "- Conexion a la base de datos MySQL con servidor, sistema, usuario y clave<br />"
        "- Ejecucion de un programa con doble clic o Enter<br />");
}
