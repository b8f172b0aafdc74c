#include "_mobiledevice_sync_ctx.h"

_mobiledevice_sync_ctx::_mobiledevice_sync_ctx(QString dataClass, QString deviceAnchor,
                                               QString computerAnchor)
    : dataClass(std::move(dataClass))
    , deviceAnchor(std::move(deviceAnchor))
    , computerAnchor(std::move(computerAnchor))
{}
