#include "changelog.h"

// El historial va de la version mas nueva a la mas antigua. Cada entrada
// abre con "<br>MM/AAAA vX.Y:<br />" y cada linea acaba en "<br />"; el
// dialogo de "Acerca de" lo muestra tal cual en un QTextBrowser.
QString changelogKolvaster()
{
    return QString::fromLatin1(
        "<br>11/2012 v5.2:<br />"
        "+ Soporte Google Chart version NON SSL<br />"
        "+ Reintento automatico de la descarga si falla la verificacion MD5<br />"
        "+ Fondo de la ventana de estadisticas configurable<br />"
        "+ Correccion del orden de programas con acentos en el nombre<br />"
        "+ Enlace a la ayuda en linea desde el menu principal<br />"

        "<br>08/2012 v5.1:<br />"
        "+ Icono de alerta para CHANGELOG pendiente<br />"
        "+ Informe de uso por usuario exportable a PDF<br />"
        "+ Impresion directa del informe de accesos<br />"
        "+ Aviso cuando la version local es mas reciente que la del servidor<br />"
        "+ Columna de ultima ejecucion en la lista de programas<br />"

        "<br>04/2012 v5.0:<br />"
        "+ Nueva ventana principal con lista de programas por categorias<br />"
        "+ Graficas de uso mediante Google Chart<br />"
        "+ Indicador de calidad de la conexion en la barra de estado<br />"
        "+ Iconos de temporada en la bandeja del sistema<br />"
        "+ Registro de errores con envio opcional al administrador<br />"
        "+ Pantalla de error con detalle tecnico desplegable<br />"

        "<br>12/2011 v4.4:<br />"
        "+ Cambio de contrasena desde el propio lanzador<br />"
        "+ Bloqueo temporal tras varios intentos de acceso fallidos<br />"
        "+ Correccion de fuga de memoria al recargar la lista<br />"
        "+ Caducidad configurable de las contrasenas<br />"
        "+ Mostrar usuario conectado en el titulo de la ventana<br />"

        "<br>10/2011 v4.3:<br />"
        "+ Gestion de usuarios y grupos para administradores<br />"
        "+ Permisos por programa segun el grupo del usuario<br />"
        "+ Mensaje claro cuando el servidor MySQL no responde<br />"
        "+ Alta y baja de usuarios sin reiniciar el lanzador<br />"
        "+ Historial de cambios de permisos<br />"

        "<br>08/2011 v4.2:<br />"
        "+ Verificacion MD5 de programas descargados<br />"
        "+ Barra de progreso por fichero durante la sincronizacion<br />"
        "+ Reanudacion de descargas interrumpidas<br />"
        "+ Limite de velocidad de descarga opcional<br />"
        "+ Borrado de versiones antiguas tras actualizar<br />"

        "<br>06/2011 v4.1:<br />"
        "+ Frase del dia en la ventana principal<br />"
        "+ Recordar el tamano y la posicion de la ventana<br />"
        "+ Acceso rapido a los ultimos programas usados<br />"
        "+ Atajos de teclado para los programas favoritos<br />"

        "<br>04/2011 v4.0:<br />"
        "+ Migracion de la interfaz a la nueva version de Qt<br />"
        "+ Sincronizacion en segundo plano sin bloquear la ventana<br />"
        "+ Cache local de iconos de programas<br />"
        "+ Compatibilidad con rutas de red UNC<br />"
        "+ Instalador unico para todos los puestos<br />"

        "<br>01/2011 v3.3:<br />"
        "+ Informe de programas instalados por puesto<br />"
        "+ Filtro de busqueda por nombre de programa<br />"
        "+ Correccion del cierre inesperado al perder la conexion<br />"
        "+ Reconexion automatica con el servidor<br />"

        "<br>11/2010 v3.2:<br />"
        "+ Reloj de servidor para comprobar la hora del puesto<br />"
        "+ Aviso si la hora local difiere de la del servidor<br />"
        "+ Mejoras de rendimiento en la consulta de programas<br />"
        "+ Sincronizacion de la hora al iniciar sesion<br />"

        "<br>09/2010 v3.1:<br />"
        "+ Parametros de linea de comandos por programa<br />"
        "+ Directorio de trabajo configurable para cada programa<br />"
        "+ Registro de cada ejecucion en la base de datos<br />"
        "+ Variables de entorno por programa<br />"

        "<br>07/2010 v3.0:<br />"
        "+ Descarga de programas desde la base de datos MySQL<br />"
        "+ Actualizacion automatica al detectar version nueva<br />"
        "+ Pantalla de conexion con prueba de servidor<br />"
        "+ Indicador de programas pendientes de actualizar<br />"
        "+ Comprobacion de espacio libre antes de descargar<br />"

        "<br>04/2010 v2.3:<br />"
        "- Soporte de varios servidores de base de datos<br />"
        "- Seleccion del servidor en la pantalla de acceso<br />"
        "- Correccion de iconos que no se mostraban en 256 colores<br />"
        "- Recordar el ultimo servidor utilizado<br />"

        "<br>02/2010 v2.2:<br />"
        "- Compresion de datos en conexion<br />"
        "- Tiempo de espera de conexion configurable<br />"
        "- Mensajes de error en castellano<br />"
        "- Puerto del servidor configurable<br />"

        "<br>12/2009 v2.1:<br />"
        "- Boton para recargar la lista de programas<br />"
        "- Icono en la bandeja del sistema<br />"
        "- Minimizar a la bandeja al cerrar la ventana<br />"
        "- Menu contextual con los programas en la bandeja<br />"

        "<br>10/2009 v2.0:<br />"
        "- Lista de programas leida desde MySQL<br />"
        "- Acceso con usuario y contrasena<br />"
        "- Contrasenas guardadas cifradas en la base de datos<br />"
        "- Nuevo instalador<br />"
        "- Registro de accesos por usuario<br />"

        "<br>07/2009 v1.4:<br />"
        "- Ordenacion alfabetica de programas<br />"
        "- Correccion de rutas con espacios<br />"
        "- Tooltip con la descripcion de cada programa<br />"

        "<br>05/2009 v1.3:<br />"
        "- Iconos de programas extraidos del ejecutable<br />"
        "- Doble clic para lanzar un programa<br />"
        "- Vista de iconos grandes y de lista<br />"

        "<br>03/2009 v1.2:<br />"
        "- Fichero de configuracion INI por puesto<br />"
        "- Comprobacion de que el ejecutable existe antes de lanzarlo<br />"
        "- Programas agrupados por carpetas<br />"

        "<br>01/2009 v1.1:<br />"
        "- Ventana Acerca de con historial de cambios<br />"
        "- Correccion del arranque en equipos sin unidad D:<br />"
        "- Opcion de arrancar con el sistema<br />"

        "<br>11/2008 v1.0:<br />"
        "- Primera version: lanzador de programas locales<br />"
        "- Funciona sin permisos de administrador<br />"
        "- Lista de programas fija en fichero de texto<br />");
}

QString pasajeIngles()
{
    return QString::fromLatin1(
        "\"I am not afraid of the dark,\" she said. \"I never was. The dark is only "
        "the same room with the lamp switched off.\"\n\n"
        "\"Then tell me what it is,\" he said, and waited.\n\n"
        "\"I am afraid of the quiet after a door closes,\" she said at last. "
        "\"Of listening for footsteps that do not come back up the stairs. "
        "Of setting two cups on the table out of habit, and of the day I stop doing it.\"\n\n"
        "\"And I am afraid of saying it out loud,\" she added, looking at the window, "
        "\"because once it is said, it becomes true.\"");
}

QString pasajeEspanol()
{
    return QString::fromLatin1(
        "\"No tengo miedo a la oscuridad\", dijo ella. \"Nunca lo tuve. La oscuridad "
        "no es mas que la misma habitacion con la lampara apagada.\"\n\n"
        "\"Entonces dime que es\", dijo el, y espero.\n\n"
        "\"Tengo miedo del silencio que queda cuando se cierra una puerta\", dijo al fin. "
        "\"De escuchar unos pasos que no vuelven a subir la escalera. "
        "De poner dos tazas en la mesa por costumbre, y del dia en que deje de hacerlo.\"\n\n"
        "\"Y tengo miedo de decirlo en voz alta\", anadio, mirando a la ventana, "
        "\"porque en cuanto se dice, se vuelve verdad.\"");
}
