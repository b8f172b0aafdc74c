// CSV reader: record splitting (from a device that delivers the bytes in pieces of sizes taken
// from the input, which must read as the whole does), several values of one cell, and rows to
// contacts.
#include "fileio/CSVImport.h"
#include "fileio/csvhelper.h"

#include <QBuffer>
#include <QIODevice>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

// A sequential device that hands out at most a few bytes per read.
class Trickle : public QIODevice
{
public:
    explicit Trickle(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        if (m_pos >= m_bytes.size())
            return 0;
        qint64 n = qint64(static_cast<unsigned char>(m_bytes[m_pos]) % 5) + 1;
        n = qMin(n, qMin(max, qint64(m_bytes.size()) - m_pos));
        std::memcpy(out, m_bytes.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_pos = 0;
};

QList<QStringList> records(QIODevice *device)
{
    QList<QStringList> out;
    bool more = true;
    bool first = true;
    while (more) {
        QStringList row;
        more = csvhelper::utf8CSVRow(row, device, first);
        first = false;
        out << row;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer whole(&bytes);
    whole.open(QIODevice::ReadOnly);
    Trickle pieces(bytes);
    if (records(&whole) != records(&pieces))
        std::abort();

    // Values joined into one cell come back as they were, whatever they hold.
    const QStringList values = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (csvhelper::splitValues(csvhelper::joinValues(values)) != values)
        std::abort();

    CSVImport reader;
    try {
        reader.load(bytes);
    } catch (const std::exception &) {
        return 0;
    }
    while (reader.hasNext())
        reader.nextContact();
    return 0;
}
