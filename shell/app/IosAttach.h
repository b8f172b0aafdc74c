#pragma once

#include "ContactSelection.h"

#include <QCoreApplication>
#include <QHash>
#include <QObject>
#include <QString>

// iPhones coming and going: an arrival shows the notes box, loads the phone's contacts into a
// fresh cache database under the progress dialog and adds the phone's node when the load
// succeeded; a removal drops the node (the cache file stays).
class IosAttach : public QObject
{
public:
    explicit IosAttach(ContactSelection &selection, QObject *parent = nullptr);

    void connected(const QString &devid);
    void disconnected(const QString &devid);

private:
    void load(const QString &devid);
    // Removes the first iPhone node of the device, if any (offline nodes carry a file name instead).
    void removeNode(const QString &devid);

    ContactSelection &m_selection;
    // iPhones whose arrival is being handled, each with whether it arrived again meanwhile.
    QHash<QString, bool> m_arrivals;
};
