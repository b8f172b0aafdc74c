#include "mobiledevice_pair.h"

#include "ios/iDevice.h"

#include <QObject>

mobiledevice_pair::mobiledevice_pair(QString udid)
    : udid(std::move(udid))
{}

bool mobiledevice_pair::pair()
{
    QString detail;
    {
        iDevice device(udid);
        if (device.newDevice() != 0) {
            detail = QStringLiteral("No device found.");
        } else if (device.lockdowndWithHandshake() == 0) {
            return true;
        } else if (const int err = device.lockdown(); err != 0) {
            detail = QString::asprintf("Could not connect to lockdownd, error code %d\n", err);
        } else if (const int err = lockdownd_pair(device.lockdownClientHandle(), nullptr); err != 0) {
            detail = QStringLiteral("lockdownd_pair failed, error code %1").arg(err);
        } else {
            return true;
        }
    }
    error =
        QStringLiteral("%1<br/><br/>Error detail: %2")
            .arg(QObject::tr(
                     "Please launch iTunes (Finder if MacOS 10.15 or above) first and then re-connect your "
                     "iPhone. Once your iPhone is visible in iTunes (Finder if MacOS 10.15 or above), "
                     "please restart Ferrovantis software."),
                 detail);
    return false;
}
