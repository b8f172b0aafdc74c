#include "adbhelper.h"

#include "platform/adb/AdbShell.h"

#include <QRegularExpression>
#include <QStringList>

namespace adbhelper {

namespace {

QByteArray upToNul(QByteArray bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return bytes;
}

// Output bytes one character per byte, cut at the first NUL.
QString run(const PAdbUSBHandle &handle, const QString &command)
{
    return QString::fromLatin1(upToNul(adbShell(handle, command, nullptr, nullptr, nullptr)));
}

bool isTrue(const QString &value)
{
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

} // namespace

QSet<QString> packages(PAdbUSBHandle handle, LIST_PACKAGE_FLAGS flag)
{
    QStringList words{QStringLiteral("pm"), QStringLiteral("list"), QStringLiteral("packages")};
    if (flag == LIST_PACKAGE_SYSTEM)
        words << QStringLiteral("-s");
    else if (flag == LIST_PACKAGE_USER)
        words << QStringLiteral("-3");

    static const QLatin1String prefix("package:");
    QSet<QString> names;
    const QStringList lines = run(handle, words.join(QLatin1Char(' '))).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(prefix))
            names.insert(line.mid(prefix.size()).trimmed());
    }
    return names;
}

QString logcatd(PAdbUSBHandle handle)
{
    return QString::fromUtf8(
        upToNul(adbShell(handle, QStringLiteral("logcat -d"), nullptr, nullptr, nullptr)));
}

void killProcess(PAdbUSBHandle handle, QString package)
{
    adbShell(handle, QStringLiteral("am force-stop ") + package, nullptr, nullptr, nullptr);
}

QString cpFile(PAdbUSBHandle handle, QString source, QString destination)
{
    return run(handle, QStringLiteral("cp \"%1\" \"%2\"").arg(source, destination));
}

int getDevAppVersion(PAdbUSBHandle handle, const QString &package, QString &dump)
{
    dump = run(handle, QStringLiteral("dumpsys package ") + package);
    static const QRegularExpression pattern(QStringLiteral("versionCode=(\\d+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(dump);
    if (!m.hasMatch())
        return 0;
    bool ok = false;
    const int version = m.captured(1).toInt(&ok);
    return ok ? version : 0;
}

QList<_AdbAppState> appStates(PAdbUSBHandle handle, const QString &package)
{
    QString dump;
    getDevAppVersion(handle, package, dump);

    static const QRegularExpression userLine(QStringLiteral("^user (\\w+): +"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression pair(QStringLiteral("(\\w+)=(\\w+)"));
    QList<_AdbAppState> states;
    const QStringList lines = dump.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        const QRegularExpressionMatch user = userLine.match(line);
        if (!user.hasMatch())
            continue;
        _AdbAppState state;
        state.user = user.captured(1);
        QRegularExpressionMatchIterator it = pair.globalMatch(line);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            const QString key = m.captured(1).trimmed();
            const QString value = m.captured(2).trimmed();
            const auto is = [&key](const char *name) {
                return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
            };
            if (is("installed"))
                state.installed = isTrue(value);
            else if (is("hidden"))
                state.hidden = isTrue(value);
            else if (is("stopped"))
                state.stopped = isTrue(value);
            else if (is("notLaunched"))
                state.notLaunched = isTrue(value);
            else if (is("enabled"))
                state.enabled = value.toInt();
        }
        states.append(state);
    }
    return states;
}

QHash<QString, QString> adbSysBuildInfo(PAdbUSBHandle handle)
{
    static const QRegularExpression pair(QStringLiteral("([^\\r\\n=]+)=([^\\r\\n=]+)"));
    QHash<QString, QString> properties;
    QRegularExpressionMatchIterator it =
        pair.globalMatch(run(handle, QStringLiteral("cat /system/build.prop")));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        properties.insert(m.captured(1), m.captured(2));
    }
    return properties;
}

} // namespace adbhelper
