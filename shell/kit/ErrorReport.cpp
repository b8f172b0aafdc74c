#include "ErrorReport.h"

#include "ProductInfo.h"
#include "Tips.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QUrl>

QString ErrorReport::versionText()
{
    return QStringLiteral("%1(%2)")
        .arg(QString::fromLatin1(ProductInfo::version))
        .arg(ProductInfo::buildNumber);
}

QString ErrorReport::cleanMessage(const QString &msg)
{
    static const QRegularExpression lineBreak(QStringLiteral("< *br */?>"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString cleaned = msg;
    cleaned.replace(lineBreak, QStringLiteral("\r\n"));
    cleaned.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    cleaned.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return cleaned;
}

QByteArray ErrorReport::body(const QString &msg)
{
    const QString text = QStringLiteral("prod=") + base64_var(ProductInfo::title()) +
                         QStringLiteral("&ver=") + base64_var(versionText()) + QStringLiteral("&err=") +
                         base64_var(cleanMessage(msg));
    return text.toUtf8();
}

QNetworkAccessManager *ErrorReport::network()
{
    // One manager for all reports, owned by the application so that it goes away with it.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return manager;
}

bool ErrorReport::send(const QString &msg)
{
    const QString url = ProductInfo::pageUrl(QStringLiteral("/err_report.php"));
    if (url.isEmpty() || !QCoreApplication::instance())
        return false;
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(30000);
    QNetworkReply *reply = network()->post(request, body(msg));
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    return true;
}
