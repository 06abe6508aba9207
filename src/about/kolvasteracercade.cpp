#include "kolvasteracercade.h"

#include "about/pasaje.h"
#include "base/constantes.h"

#include <QDesktopServices>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace {

// Marks the program's change log as read for the user. A failure here must not keep the
// dialog from opening, so nothing is reported.
void marcarLeido(qint64 uid, const QString &programa)
{
    // NULL counts as unread for the program list, so it is marked as well as FALSE.
    QSqlQuery q;
    q.prepare(QStringLiteral(
        "SELECT a.app_id FROM sysuserapp sa, app a WHERE a.app_id=sa.app_id AND "
        "a.nombre=:appnombre AND sa.sysuser_id=:uid AND "
        "(clogleido=FALSE OR clogleido IS NULL);"));
    q.bindValue(QStringLiteral(":appnombre"), programa);
    q.bindValue(QStringLiteral(":uid"), uid);
    if (!q.exec() || !q.next())
        return;
    const qint64 app = q.value(0).toLongLong();

    QSqlQuery u;
    u.prepare(QStringLiteral("UPDATE sysuserapp SET clogleido=TRUE WHERE sysuser_id=:uid AND "
                             "app_id=:app;"));
    u.bindValue(QStringLiteral(":uid"), uid);
    u.bindValue(QStringLiteral(":app"), app);
    u.exec();
}

} // namespace

KolvasterAcercaDe::KolvasterAcercaDe(qint64 uid, const char *programa, const char *version,
                                     const char *changelog, QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());

    lab_eastern->hide();
    lab_easterntext->hide();
    lab_easterntext2->hide();

    const QString nombre = QString::fromLatin1(programa);
    lab_nombreprograma->setText(nombre + QLatin1Char(' ') + QString::fromLatin1(version));
    clics = 0;
    textbrowser_changelog->setHtml(QString::fromLatin1(changelog));

    lab_varnoklink->setText(enlace(sitioFabricante()));

    marcarLeido(uid, nombre);
}

KolvasterAcercaDe::~KolvasterAcercaDe() = default;

QString KolvasterAcercaDe::sitioFabricante()
{
    return QStringLiteral("http://") + QLatin1String(KOLVASTER_MAKER_HOST) + QLatin1Char('/');
}

QString KolvasterAcercaDe::enlace(const QString &sitio)
{
    return QStringLiteral("<a href=\"") + sitio
           + QStringLiteral("\"><span style=\"text-decoration: underline; color:#55aaff;\">")
           + sitio + QStringLiteral("</span></a>");
}

void KolvasterAcercaDe::on_lab_varnoklink_linkActivated(const QString &link)
{
    QDesktopServices::openUrl(QUrl(link));
}

void KolvasterAcercaDe::on_pb_eastern_clicked()
{
    ++clics;
    if (clics <= 7)
        return;
    lab_eastern->show();
    lab_easterntext->show();
    lab_easterntext->setText(pasajeIngles());
    lab_easterntext2->show();
    lab_easterntext2->setText(pasajeEspanol());
    textbrowser_changelog->hide();
}
