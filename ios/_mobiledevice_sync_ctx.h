#pragma once

#include <QString>

// The parameters of one contact sync session; lives on the caller's stack for the whole session.
struct _mobiledevice_sync_ctx
{
    _mobiledevice_sync_ctx(QString dataClass, QString deviceAnchor, QString computerAnchor);

    // The data class, "com.apple.Contacts" for every session of the program.
    QString dataClass;
    // The device's sync anchor sent at the start: "---" (none known, so the device syncs slowly).
    QString deviceAnchor;
    // The computer's sync anchor: the local date and time in ISO 8601.
    QString computerAnchor;
};
