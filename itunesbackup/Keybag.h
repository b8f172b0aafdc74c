#pragma once

#include "KeybagInfo.h"

#include <QByteArray>

#include <functional>

// The backup keybag ("BackupKeyBag" of "Manifest.plist"): a run of records, each a four-character
// tag, a big-endian 32-bit length and that many bytes of value. The keybag's own records come
// first; every later "UUID" opens a class key, filed under its "CLAS" number.
// Never throws. Parsing stops at the first record that does not fit in what is left of the blob
// (a truncated keybag or an oversized length); the records before it are kept. A class key whose
// "CLAS" holds fewer than four bytes files nothing.
_KeybagInfo parseKeybag(const QByteArray &blob);

// Told the share of the key derivation done (0 to 100); false stops it, and the unlock fails.
using UnlockProgress = std::function<bool(int percent)>;

// Derives the passcode key from the password and the keybag's "SALT", "ITER" and, when both are
// there, "DPSL" and "DPIC", then unwraps every passcode-wrapped class key (its "WRAP" has the bit 2)
// into "KEY". False when the derivation cannot run (a missing salt or count, a count below 1, an
// integer under four bytes), when it was stopped, or at the first class key that does not unwrap
// (a wrong password).
bool unlockWithPasscode(QByteArray passcode, _KeybagInfo &keybag, const UnlockProgress &progress = UnlockProgress());

// A 40-byte wrapped key unwrapped with the unlocked key of its class; empty when that cannot be.
QByteArray unwrapKeyForClass(const _KeybagInfo &keybag, int protectionClass, QByteArray wrappedKey);
