#pragma once

#include <QString>

// Pairs this computer with an iPhone. A phone already paired is left alone; otherwise the phone is
// asked to trust the computer. On failure `error` holds a message for the user.
class mobiledevice_pair
{
public:
    explicit mobiledevice_pair(QString udid);

    bool pair();

    QString udid;
    QString error;
};
