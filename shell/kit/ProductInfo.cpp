#include "ProductInfo.h"

#include <QCoreApplication>
#include <QObject>

#ifndef TARNWICK_UPDATE_HOST
#define TARNWICK_UPDATE_HOST ""
#endif

QString ProductInfo::title()
{
    return QObject::tr("Ferrovantis Tarnwick for Mac");
}

QString ProductInfo::webHost()
{
    if (qEnvironmentVariableIsSet("TARNWICK_UPDATE_HOST"))
        return qEnvironmentVariable("TARNWICK_UPDATE_HOST").trimmed();
    return QString::fromUtf8(TARNWICK_UPDATE_HOST).trimmed();
}

QString ProductInfo::pageUrl(const QString &path)
{
    const QString host = webHost();
    if (host.isEmpty())
        return {};
    return QStringLiteral("http://") + host + path;
}
