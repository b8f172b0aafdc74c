#include "mobiledevice.h"

#include "Logging.h"
#include "iDevice.h"
#include "platform/idevice/PlistInputCheck.h"

namespace {

// UTF-8 of the text, or none for an empty text.
const char *optionalText(const QByteArray &utf8)
{
    return utf8.isEmpty() ? nullptr : utf8.constData();
}

} // namespace

PlistCFType mobiledevice_info(iDevice *device, QString domain, QString key)
{
    if (!device)
        return PlistCFType();
    const QByteArray domainUtf8 = domain.toUtf8();
    const QByteArray keyUtf8 = key.toUtf8();
    plist_t node = nullptr;
    const lockdownd_error_t err = lockdownd_get_value(device->lockdownClientHandle(),
                                                      optionalText(domainUtf8), optionalText(keyUtf8), &node);
    if (err != LOCKDOWN_E_SUCCESS) {
        plist_free(node);
        return PlistCFType();
    }
    // The device library parsed and copied the value before it came here; a text that a copy cut
    // short would abort the program at its first read, or read past its end.
    const std::string refusal = PlistInputCheck::parsedRefusal(node);
    if (!refusal.empty()) {
        qCWarning(lcIos, "lockdown value %s/%s refused: %s", domainUtf8.constData(), keyUtf8.constData(),
                  refusal.c_str());
        plist_free(node);
        return PlistCFType();
    }
    return PlistCFType(node, true);
}

PlistCFType mobiledevice_info(QString udid, QString domain, QString key)
{
    iDevice handle(udid);
    if (!handle.open())
        return PlistCFType();
    return mobiledevice_info(&handle, domain, key);
}

bool mobiledevice_set(iDevice *device, QString domain, QString key, PlistCFType value)
{
    if (!device || !device->lockdownClientHandle() || !value.ref())
        return false;
    // Unlike a read, a write names its domain and key as given, an empty text included.
    const QByteArray domainUtf8 = domain.toUtf8();
    const QByteArray keyUtf8 = key.toUtf8();
    // The library frees the node it is given, so it gets a copy and the caller keeps the original.
    return lockdownd_set_value(device->lockdownClientHandle(), domainUtf8.constData(), keyUtf8.constData(),
                               plist_copy(value.ref())) == LOCKDOWN_E_SUCCESS;
}

bool mobiledevice_set(QString udid, QString domain, QString key, PlistCFType value)
{
    iDevice handle(udid);
    if (!handle.open())
        return false;
    return mobiledevice_set(&handle, domain, key, value);
}
