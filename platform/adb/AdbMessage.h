#pragma once

#include <QByteArray>
#include <QtGlobal>

// One message of the ADB transport: a 24-byte little-endian header (command, two arguments,
// payload length, payload byte sum, command ^ 0xFFFFFFFF) followed by the payload.
struct AdbMessage
{
    enum Command : quint32 {
        Sync = 0x434e5953,
        Cnxn = 0x4e584e43,
        Auth = 0x48545541,
        Open = 0x4e45504f,
        Okay = 0x59414b4f,
        Clse = 0x45534c43,
        Wrte = 0x45545257,
        Stls = 0x534c5453,
    };
    // Arguments of an AUTH message.
    enum AuthType : quint32 { AuthToken = 1, AuthSignature = 2, AuthRsaPublicKey = 3 };

    static constexpr int kHeaderSize = 24;
    // The first protocol version, whose peers check the payload sum.
    static constexpr quint32 kVersionMin = 0x01000000;
    // From this version on peers neither check nor need the payload sum.
    static constexpr quint32 kVersionSkipChecksum = 0x01000001;
    // What this client announces and accepts in one message.
    static constexpr quint32 kMaxPayload = 1024 * 1024;
    // What any peer accepts before the connection says otherwise.
    static constexpr quint32 kMaxPayloadLegacy = 4096;

    quint32 command = 0;
    quint32 arg0 = 0;
    quint32 arg1 = 0;
    QByteArray payload;

    // The plain byte sum the first protocol version uses as its check.
    static quint32 checksum(const QByteArray &data);
    static bool isKnownCommand(quint32 command);
    // The four letters of a command, for messages.
    static QByteArray commandName(quint32 command);

    // withChecksum false leaves the sum 0, as peers from kVersionSkipChecksum on send it; they do
    // not look at it, and summing a megabyte per message costs as much as copying it.
    QByteArray encodeHeader(bool withChecksum = true) const;
    // The header of a message whose payload, `length` bytes, travels apart from `payload`; its sum
    // is 0, so only for peers from kVersionSkipChecksum on.
    QByteArray encodeHeaderUnsummed(quint32 length) const;
    QByteArray encode() const;
};
