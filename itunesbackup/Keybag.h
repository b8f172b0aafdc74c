#pragma once

#include "KeybagInfo.h"

#include <QByteArray>

// The backup keybag ("BackupKeyBag" of "Manifest.plist"): a run of records, each a four-character
// tag, a big-endian 32-bit length and that many bytes of value. The keybag's own records come
// first; every later "UUID" opens a class key, filed under its "CLAS" number.
// Never throws. Parsing stops at the first record that does not fit in what is left of the blob
// (a truncated keybag or an oversized length); the records before it are kept. A class key whose
// "CLAS" holds fewer than four bytes files nothing.
_KeybagInfo parseKeybag(const QByteArray &blob);
