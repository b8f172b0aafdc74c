#pragma once

#include "Entity.h"

#include <QList>
#include <QMap>

// The entries merges wrote into one stored contact, by type code, as a write session sends them.
// Two contacts of one full name merge into one stored contact: the session must send what both
// wrote, once each.
namespace WrittenEntries {

using ByType = QMap<int, QList<pim::Entity>>;

// Adds `more` to `into`; an entry whose row id is there already replaces the earlier one, since a
// later merge rewrote it.
void unite(ByType &into, const ByType &more);

} // namespace WrittenEntries
