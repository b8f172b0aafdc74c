#pragma once

#include "PlistCFType.h"

#include <QString>

class iDevice;

// Reading and writing one lockdown value of an iPhone. Nothing here throws; any thread may call.

// One read on a handle whose lockdown client is open. An empty domain or key is passed as none: the
// default domain, the whole dictionary of the domain. Failure (no client, refused read) gives the
// empty handle; success an owning handle over the value. A value holding a damaged text (see
// PlistInputCheck::parsedRefusal) is refused like a failed read. Read a dictionary of the phone by
// key (get()), never by walking its keys: the keys of a copied value cannot be checked.
PlistCFType mobiledevice_info(iDevice *device, QString domain, QString key);
// Opens the phone with a lockdown handshake, reads, and closes it again.
PlistCFType mobiledevice_info(QString udid, QString domain, QString key);

// One write on a handle whose lockdown client is open; false at once for a null handle or one
// without client. The library is given a deep copy: the caller's value keeps its node.
bool mobiledevice_set(iDevice *device, QString domain, QString key, PlistCFType value);
// Opens the phone with a lockdown handshake, writes, and closes it again.
bool mobiledevice_set(QString udid, QString domain, QString key, PlistCFType value);
