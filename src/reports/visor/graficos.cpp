#include "graficos.h"

#include "base/constantes.h"

#include <QBuffer>
#include <QFile>
#include <QMutex>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <string_view>

namespace {

// The pages name the loader through the scheme served here.
constexpr std::string_view cargadorPropio(KOLVASTER_CARGADOR_PROPIO);
static_assert(cargadorPropio == std::string_view("kolvaster-graficos:cargador.js")
              && std::string_view(Graficos::esquema) == std::string_view("kolvaster-graficos"));

// The loader is ours and travels inside the program; the library is the system's, installed by
// its Debian package where the build found it.
const char rutaCargador[] = ":/kolvaster/graficos/cargador-graficos.js";

// Far above the library's size (about 200 KB): a file that large is not the library.
constexpr qint64 tamanoMaximo = 8 * 1024 * 1024;

bool leer(const QString &archivo, QByteArray *datos)
{
    QFile f(archivo);
    if (!f.open(QIODevice::ReadOnly) || f.size() > tamanoMaximo)
        return false;
    *datos = f.read(tamanoMaximo + 1);
    return datos->size() <= tamanoMaximo && !datos->isEmpty();
}

class ServidorGraficos : public QWebEngineUrlSchemeHandler
{
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob *pedido) override
    {
        QByteArray datos, tipo;
        if (pedido->requestMethod() != QByteArrayLiteral("GET")) {
            pedido->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        if (!Graficos::contenido(pedido->requestUrl().path(), &datos, &tipo)) {
            pedido->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto *cuerpo = new QBuffer(pedido);
        cuerpo->setData(datos);
        cuerpo->open(QIODevice::ReadOnly);
        pedido->reply(tipo, cuerpo);
    }
};

} // namespace

void Graficos::registrarEsquema()
{
    QWebEngineUrlScheme s(esquema);
    s.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(s);
}

void Graficos::instalar(QWebEngineProfile *perfil)
{
    if (!perfil->urlSchemeHandler(esquema))
        perfil->installUrlSchemeHandler(esquema, new ServidorGraficos(perfil));
}

bool Graficos::contenido(const QString &ruta, QByteArray *datos, QByteArray *tipo)
{
    // Exact names only: no folder, no other file of the install or of the system answers.
    const QString archivo = ruta == QLatin1String("cargador.js") ? QString::fromLatin1(rutaCargador)
                            : ruta == QLatin1String("chart.min.js")
                                ? QString::fromUtf8(KOLVASTER_BIBLIOTECA_GRAFICOS)
                                : QString();
    if (archivo.isEmpty())
        return false;
    // Read once: every report page of the session asks for the same two files.
    static QMutex cerrojo;
    static QByteArray cargador, biblioteca;
    QMutexLocker l(&cerrojo);
    QByteArray &guardado = archivo.startsWith(QLatin1Char(':')) ? cargador : biblioteca;
    if (guardado.isEmpty() && !leer(archivo, &guardado))
        return false;
    *datos = guardado;
    *tipo = QByteArrayLiteral("text/javascript;charset=utf-8");
    return true;
}
