#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstring>

namespace tarnwick::test {

// Writes a binary property list object by object, so that a test can craft what no library would
// write: texts holding NUL, dates that are no numbers, references that loop. Object references take
// two bytes, offsets four.
class BinaryPlistBytes
{
public:
    // Adds a whole object (marker byte and what follows); gives its index.
    int add(const QByteArray &object)
    {
        m_objects.append(object);
        return int(m_objects.size()) - 1;
    }

    // The list with `root` as its top object.
    QByteArray bytes(int root = 0) const
    {
        QByteArray out("bplist00");
        QList<quint64> offsets;
        for (const QByteArray &object : m_objects) {
            offsets.append(quint64(out.size()));
            out += object;
        }
        const quint64 table = quint64(out.size());
        for (const quint64 offset : offsets)
            appendBigEndian(out, offset, 4);
        out.append(6, '\0');
        out.append(char(4));
        out.append(char(2));
        appendBigEndian(out, quint64(m_objects.size()), 8);
        appendBigEndian(out, quint64(root), 8);
        appendBigEndian(out, table, 8);
        return out;
    }

    // The list framed as the device services send it: a 4-byte big-endian length first.
    QByteArray frame(int root = 0) const { return framed(bytes(root)); }

    static QByteArray framed(const QByteArray &message)
    {
        QByteArray out;
        appendBigEndian(out, quint64(message.size()), 4);
        return out + message;
    }

    static QByteArray ascii(const QByteArray &text) { return marked(0x50, text.size()) + text; }

    static QByteArray utf16(const QString &text)
    {
        QByteArray out = marked(0x60, text.size());
        for (const QChar c : text)
            appendBigEndian(out, c.unicode(), 2);
        return out;
    }

    static QByteArray integer(quint64 value)
    {
        QByteArray out(1, char(0x13));
        appendBigEndian(out, value, 8);
        return out;
    }

    static QByteArray boolean(bool value) { return QByteArray(1, char(value ? 0x09 : 0x08)); }

    static QByteArray real(double value)
    {
        quint64 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        QByteArray out(1, char(0x23));
        appendBigEndian(out, bits, 8);
        return out;
    }

    static QByteArray date(double secondsSince2001)
    {
        quint64 bits = 0;
        std::memcpy(&bits, &secondsSince2001, sizeof bits);
        QByteArray out(1, char(0x33));
        appendBigEndian(out, bits, 8);
        return out;
    }

    static QByteArray array(const QList<int> &items)
    {
        QByteArray out = marked(0xA0, items.size());
        for (const int item : items)
            appendBigEndian(out, quint64(item), 2);
        return out;
    }

    static QByteArray dict(const QList<int> &keys, const QList<int> &values)
    {
        QByteArray out = marked(0xD0, keys.size());
        for (const int key : keys)
            appendBigEndian(out, quint64(key), 2);
        for (const int value : values)
            appendBigEndian(out, quint64(value), 2);
        return out;
    }

    static void appendBigEndian(QByteArray &out, quint64 value, int bytes)
    {
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
            out.append(char((value >> shift) & 0xFF));
    }

private:
    // A marker with its count, the count following as an integer object when it needs more than 4 bits.
    static QByteArray marked(unsigned char type, qsizetype count)
    {
        if (count < 15)
            return QByteArray(1, char(type | count));
        QByteArray out(1, char(type | 0x0F));
        out.append(char(0x13));
        appendBigEndian(out, quint64(count), 8);
        return out;
    }

    QList<QByteArray> m_objects;
};

} // namespace tarnwick::test
