#include "frases.h"

// Textos en ASCII puro: la interfaz evita acentos para no depender de la
// codificacion del puesto. El orden es fijo; quien elige la frase del dia
// usa el indice, asi que las nuevas se anaden siempre al final.
QStringList frasesDelDia()
{
    static const char *const textos[] = {
        "El esfuerzo no se nota el primer dia, pero el ultimo dia no se nota otra cosa.\n\nAnonimo",
        "Quien madruga encuentra la oficina cerrada y el cafe sin hacer.\n\nProverbio de oficina",
        "Hoy es un buen dia para terminar lo que empezaste ayer con tanto entusiasmo.",
        "El entusiasmo es un fosforo: da mucha luz, pero conviene tener la lena preparada.\n\nDicho de taller",
        "No dejes para manana lo que puedes delegar hoy mismo en otra persona.",
        "Una reunion sin orden del dia es una siesta con sillas incomodas.\n\nProverbio de oficina",
        "Si algo funciona, no lo toques. Si no funciona, tampoco: llama a soporte.\n\nManual del becario",
        "Cada tarea grande esta hecha de tareas pequenas que nadie quiere empezar.",
        "El vago trabaja dos veces: una buscando como no hacerlo y otra haciendolo deprisa al final.\n\nAnonimo",
        "Las manos ocupadas tienen poco tiempo para quejarse y mucho para aprender.",
        "Un lunes bien aprovechado vale por toda la semana; lastima que nunca lo veamos.\n\nCalendario de pared",
        "El que guarda a tiempo no pierde el trabajo de toda la tarde.",
        "No hay atajo sin trabajo, ni trabajo que no se pueda hacer un poco mejor.\n\nDicho de taller",
        "La constancia no hace ruido, pero al final del ano se nota mas que cualquier arranque de genio.",
        "Descansar tambien es trabajar, siempre que el jefe no este mirando.\n\nAnonimo",
        "Una tarea aburrida hecha a tiempo luce mas que una brillante entregada tarde.",
        "Todo plan sobrevive intacto hasta que alguien abre la hoja de calculo.\n\nPizarra de la sala de reuniones",
        "El cafe no resuelve los problemas, pero ayuda a mirarlos de frente.",
        "Quien mucho abarca, poco aprieta y mucho pendiente deja para el viernes.\n\nRefranero de oficina",
        "Empieza por lo que tienes delante; el resto de la montana ya esperara su turno.",
        "Un equipo bien avenido reparte el trabajo; uno mal avenido reparte las culpas.\n\nAnonimo",
        "Un error reconocido a tiempo vale mas que diez excusas bien redactadas.",
        "Compilar a la primera no es suerte: es que todavia no has probado el programa.\n\nProverbio de programador",
        "El viernes llega igual trabajes o no; mejor que te encuentre con la tarea hecha.",
        "La maquina nunca se equivoca; solo obedece con una fidelidad que da miedo.\n\nManual del becario",
        "Mis mejores ideas aparecen en la ducha, justo donde no hay donde apuntarlas.",
        "Ningun informe se ha escrito solo mirando la pantalla en blanco.\n\nAnonimo",
        "Estar ocupado y avanzar no son lo mismo: el hamster de la rueda tambien esta muy ocupado.",
        "Mi lista de tareas pendientes tiene ya su propia lista de tareas pendientes.\n\nConfesion de los viernes",
        "El talento abre la puerta, pero es el esfuerzo el que sube las escaleras.",
        "Nunca subestimes el poder de una siesta bien planificada.\n\nFilosofo de sofa",
        "Los problemas no desaparecen cuando apagas el monitor, pero se ven mas pequenos.",
        "Deja la mesa recogida al salir: manana lo agradeceras antes del primer cafe.\n\nNota en la nevera",
        "La copia de seguridad que no hiciste es siempre la que ibas a necesitar.",
        "El sudor de la manana se convierte en la calma de la tarde.\n\nRefran del almacen",
        "Diez minutos al dia sobre la misma tarea valen mas que una tarde heroica al mes.",
        "La reunion de las nueve se ha aplazado a las diez para preparar la reunion de las once.\n\nAgenda compartida",
        "Cuando no sepas por donde empezar, ordena la mesa: al menos algo estara terminado.",
        "No estoy parado: estoy esperando a que la inspiracion termine de cargar.\n\nAnonimo",
        "El esfuerzo de hoy es la tranquilidad de manana.",
        "Todo proyecto tiene dos fases: demasiado pronto para saberlo y demasiado tarde para cambiarlo.\n\nProverbio de jefe de proyecto",
        "Cansarse es humano; lo importante es elegir bien donde sentarse a recuperar fuerzas.",
        "Las prisas de ultima hora son la factura de las siestas de primera hora.\n\nDicho de taller",
        "Las excusas no arreglan nada, pero hay que reconocer que algunas son muy creativas.",
        "La motivacion es como el cafe: hay que recargarla cada manana.\n\nProverbio de oficina",
        "Quien sabe esperar, sabe tambien cuando dejar de esperar y ponerse a trabajar.",
        "Empezar cuesta lo mismo a las nueve que a las doce, pero a las nueve queda mas dia.\n\nAnonimo",
        "Nadie tropieza estando acostado, pero tampoco llega a ninguna parte.",
        "Tengo tanto trabajo que he decidido irme a dormir y verlo manana con otros ojos.\n\nFilosofo de sofa",
        "Preguntar cuesta un minuto de verguenza; no preguntar, una tarde entera deshaciendo el error.",
        "Hay dias de martillo y dias de clavo. Hoy, por si acaso, trae casco.\n\nPizarra del almacen",
        "Un programa terminado con dos fallos ayuda mas que uno perfecto que nunca sale del cajon.",
        "Antes de borrar una tabla, cuenta hasta diez y mira dos veces el nombre de la base de datos.\n\nProverbio de administrador",
        "Si el dia empieza torcido, siempre queda la tarde para enderezarlo.",
        "Un buen trabajador no es el que nunca se equivoca, sino el que deja notas para el siguiente.\n\nManual del becario",
        "Hoy no es un dia cualquiera: es el unico que tienes para avanzar un poco.",
        "Reglas de la oficina:\n"
        "1. El jefe siempre tiene razon.\n"
        "2. Si el jefe no tiene razon, se aplica la regla numero uno.\n"
        "3. El cafe de la maquina se paga; el de la cocina se comparte.\n"
        "4. Quien atasca la impresora, la desatasca.\n"
        "5. Las tareas urgentes llegan a las cinco menos cinco.\n"
        "6. Ninguna reunion dura lo que dice la convocatoria.\n"
        "7. Guardar el trabajo no es una sugerencia.",
        "El lunes prometi empezar la dieta, el gimnasio y el informe.\n"
        "El martes hice el informe, que era lo mas urgente.\n"
        "El miercoles repase el informe, porque tenia erratas.\n"
        "El jueves presente el informe y me pidieron otro.\n"
        "El viernes decidi que el lunes siguiente seria un gran dia para empezar la dieta y el gimnasio.\n\n"
        "Diario de un trabajador optimista",
        "Si quieres que algo se haga bien, hazlo tu mismo; si quieres que se haga rapido, hazlo antes de la reunion.\n\nProverbio de oficina",
    };

    QStringList lista;
    lista.reserve(int(sizeof(textos) / sizeof(textos[0])));
    for (const char *t : textos)
        lista << QString::fromLatin1(t);
    return lista;
}
