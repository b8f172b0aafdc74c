#include "MobiledeviceSubscribe.h"

#include <libimobiledevice/libimobiledevice.h>

namespace {

void subscribe(const idevice_event_t *event, void *userData)
{
    if (!event || !userData || event->conn_type != CONNECTION_USBMUXD)
        return;
    auto *self = static_cast<MobiledeviceSubscribe *>(userData);
    const QString devid = QString::fromLatin1(event->udid);
    if (event->event == IDEVICE_DEVICE_ADD)
        self->invokeNewDevice(devid);
    else if (event->event == IDEVICE_DEVICE_REMOVE)
        self->invokeKickDevice(devid);
}

} // namespace

MobiledeviceSubscribe::MobiledeviceSubscribe(QObject *parent)
    : QObject(parent)
{}

MobiledeviceSubscribe::~MobiledeviceSubscribe()
{
    idevice_event_unsubscribe();
}

bool MobiledeviceSubscribe::start()
{
    deviceCount = 0;
    return idevice_event_subscribe(subscribe, this) == IDEVICE_E_SUCCESS;
}

void MobiledeviceSubscribe::invokeNewDevice(QString devid)
{
    ++deviceCount;
    emit newDevice(devid);
}

void MobiledeviceSubscribe::invokeKickDevice(QString devid)
{
    --deviceCount;
    emit kickDevice(devid);
}
