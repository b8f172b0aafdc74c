#pragma once

#include "IAndroidConnector.h"

#include "model/LocalDb.h"

#include <QSharedPointer>
#include <QString>

// The mirror of one Android phone: a local contact database holding a copy of the phone's contacts,
// paired with the connector through which the phone's companion app is reached. Every entry's srcId
// is the Android sync id of the same record on the phone, and a contact's srcId that of its name
// record; an empty srcId marks what the phone has not confirmed.
class AndroidContactsDb : public LocalDb
{
public:
    // Opens nothing and creates nothing; whoever builds a fresh mirror calls create().
    AndroidContactsDb(QString path, PAndroidConnector connector);
    ~AndroidContactsDb() override;

    // A shared copy: it keeps the connector alive while a session uses it, even if the mirror goes.
    PAndroidConnector connector() const;

    // The mirror file of a connected phone: its identifier as file name in "android_cache" of the
    // data folder. Throws for an identifier that would name another place (empty, "." or "..", a
    // separator or a NUL), since making the mirror replaces whatever is at that path.
    static QString cachePath(const QString &devId);
    // A fresh, empty mirror for a phone that has just arrived: makes "android_cache" when missing
    // and replaces any earlier file of the same phone with an empty database. The identifier itself
    // stays the phone's key in the tree.
    static QSharedPointer<AndroidContactsDb> createForDevice(const QString &devId,
                                                             PAndroidConnector connector);
    // A mirror over an offline phone database (a file of "android_virtual"), used as it is, whose
    // connector has no phone behind it.
    static QSharedPointer<AndroidContactsDb> openOffline(const QString &path);

    // Whether this is an offline phone database: there is no phone to send anything to or load
    // anything from, so it is used like a local database.
    bool isOffline() const { return m_offline; }

private:
    PAndroidConnector m_connector;
    bool m_offline = false;
};
