#include "AdbSyncService.h"

#include "AdbError.h"
#include "AdbStream.h"
#include "AdbTransport.h"

#include <QIODevice>
#include <QtEndian>

namespace {

QByteArray request(const char id[4], quint32 value)
{
    QByteArray out(id, 4);
    char word[4];
    qToLittleEndian(value, word);
    out.append(word, 4);
    return out;
}

} // namespace

void AdbSyncService::push(AdbTransport &transport, QIODevice &source, const QString &remotePath, int mode,
                          quint32 mtime, int answerLimitMs)
{
    const QByteArray target = remotePath.toUtf8() + ',' + QByteArray::number(0100000 | (mode & 0777));
    if (target.size() > 1024)
        throw AdbError(QStringLiteral("The path %1 is too long for the phone.").arg(remotePath));

    const std::shared_ptr<AdbStream> stream = transport.open("sync:");
    // Several DATA blocks go in one message where the phone allows large messages.
    const qsizetype limit = qsizetype(transport.maxPayload());
    QByteArray pending;
    pending.reserve(limit + 2 * (kMaxDataBlock + 8) + target.size());
    pending += request("SEND", quint32(target.size())) + target;
    QByteArray block(kMaxDataBlock, '\0');
    for (;;) {
        const qint64 got = source.read(block.data(), kMaxDataBlock);
        if (got < 0)
            throw AdbError(QStringLiteral("Could not read the file to send: %1").arg(source.errorString()));
        if (got == 0)
            break;
        pending += request("DATA", quint32(got));
        pending.append(block.constData(), got);
        if (pending.size() + 8 + kMaxDataBlock > limit) {
            stream->write(pending);
            pending.resize(0); // keeps the room for the next message
        }
    }
    pending += request("DONE", mtime);
    stream->write(pending);

    readPushAnswer(
        [&stream, answerLimitMs](qsizetype size) { return stream->readExactly(size, answerLimitMs); });
    try {
        stream->write(request("QUIT", 0));
    } catch (const AdbError &) {
        // The file is there; a phone that hangs up first is fine.
    }
    stream->close();
}

void AdbSyncService::readPushAnswer(const std::function<QByteArray(qsizetype)> &readExactly)
{
    const QByteArray answer = readExactly(8);
    const quint32 length = qFromLittleEndian<quint32>(answer.constData() + 4);
    if (answer.startsWith("FAIL")) {
        if (length > kMaxDataBlock)
            throw AdbError(QStringLiteral("The phone refused the file."));
        const QByteArray reason = readExactly(qsizetype(length));
        throw AdbError(QStringLiteral("The phone refused the file: %1").arg(QString::fromUtf8(reason)));
    }
    if (!answer.startsWith("OKAY"))
        throw AdbError(QStringLiteral("The phone gave an unexpected answer to a file transfer."));
}
