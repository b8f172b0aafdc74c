#include "mobiledevice_loader.h"

#include "Logging.h"
#include "platform/idevice/main_.h"

#include <QByteArray>

#include <vector>

namespace {

QString _uwpiTunesPath;

} // namespace

int mobiledevice_init(const std::function<void(const QString &)> &warn)
{
    QString error;
    const int result = mobiledevice_loader_ini(error, QString(), QStringList());
    if (result <= 0) {
        if (warn)
            warn(error);
        return 0;
    }
    return result;
}

int mobiledevice_loader_ini(QString &, QString path, QStringList)
{
    _uwpiTunesPath = path;
    return 1;
}

QString mobiledevice_loader_ini_uwpiTunesPath()
{
    return _uwpiTunesPath;
}

QString mobiledevice_exe32_path(QString name, QProcessEnvironment &)
{
    return QStringLiteral("/System/Library/PrivateFrameworks/MobileDevice.framework/Versions/A/"
                          "AppleMobileDeviceHelper.app/Contents/Resources/") +
           name;
}

void enableOrDisableICloudBackup(QString udid, bool enable)
{
    QByteArray program;
    QByteArray option("-u");
    QByteArray identifier = udid.toUtf8();
    QByteArray command("cloud");
    QByteArray state(enable ? "on" : "off");
    std::vector<char *> argv{program.data(), option.data(), identifier.data(), command.data(), state.data()};
    const int result = main_(0, 5, argv.data());
    if (result != 0)
        qCWarning(lcDeviceBackup) << "switching iCloud backup" << (enable ? "on" : "off") << "ended with"
                                  << result;
}
