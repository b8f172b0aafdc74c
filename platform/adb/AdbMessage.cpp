#include "AdbMessage.h"

#include <QtEndian>

quint32 AdbMessage::checksum(const QByteArray &data)
{
    quint32 sum = 0;
    for (const char c : data)
        sum += static_cast<unsigned char>(c);
    return sum;
}

bool AdbMessage::isKnownCommand(quint32 command)
{
    switch (command) {
    case Sync:
    case Cnxn:
    case Auth:
    case Open:
    case Okay:
    case Clse:
    case Wrte:
    case Stls:
        return true;
    default:
        return false;
    }
}

QByteArray AdbMessage::commandName(quint32 command)
{
    QByteArray name(4, '\0');
    qToLittleEndian(command, name.data());
    for (char &c : name) {
        if (c < 0x20 || c > 0x7e)
            c = '?';
    }
    return name;
}

QByteArray AdbMessage::encodeHeader(bool withChecksum) const
{
    QByteArray header = encodeHeaderUnsummed(static_cast<quint32>(payload.size()));
    if (withChecksum)
        qToLittleEndian(checksum(payload), header.data() + 16);
    return header;
}

QByteArray AdbMessage::encodeHeaderUnsummed(quint32 length) const
{
    QByteArray header(kHeaderSize, '\0');
    char *p = header.data();
    qToLittleEndian(command, p);
    qToLittleEndian(arg0, p + 4);
    qToLittleEndian(arg1, p + 8);
    qToLittleEndian(length, p + 12);
    qToLittleEndian(0u, p + 16);
    qToLittleEndian(command ^ 0xffffffffu, p + 20);
    return header;
}

QByteArray AdbMessage::encode() const
{
    return encodeHeader() + payload;
}
