#include "AdbShellService.h"

#include "AdbError.h"
#include "AdbMessage.h"
#include "AdbStream.h"
#include "AdbTransport.h"

#include <QString>
#include <QtEndian>

AdbShellService::Result AdbShellService::run(AdbTransport &transport, const QString &command,
                                             int silenceLimitMs)
{
    Result result;
    if (!transport.hasFeature("shell_v2")) {
        const std::shared_ptr<AdbStream> stream = transport.open("shell:" + command.toUtf8());
        result.output = stream->readAll(silenceLimitMs);
        stream->close();
        return result;
    }

    const std::shared_ptr<AdbStream> stream = transport.open("shell,v2,raw:" + command.toUtf8());
    // Our side has nothing to type: the command sees the end of its input at once.
    QByteArray closeStdin(kPacketHeaderSize, '\0');
    closeStdin[0] = char(CloseStdin);
    try {
        stream->write(closeStdin);
    } catch (const AdbError &) {
        // A quick command may have finished and closed its stream already; its output is read below.
    }

    result = readPackets(
        [&stream, silenceLimitMs](qsizetype size) { return stream->readExactly(size, silenceLimitMs); });
    stream->close();
    return result;
}

AdbShellService::Result AdbShellService::readPackets(const ReadExactly &readExactly)
{
    Result result;
    QByteArray standardError;
    for (;;) {
        // A stream that ends before the exit packet throws: the command's fate is unknown.
        const QByteArray header = readExactly(kPacketHeaderSize);
        const quint8 id = quint8(header[0]);
        const quint32 length = qFromLittleEndian<quint32>(header.constData() + 1);
        // The phone's daemon never sends a packet beyond its own buffer of one maximal message.
        if (length > AdbMessage::kMaxPayload)
            throw AdbError(QStringLiteral("The phone's shell sent a packet of %1 bytes.").arg(length));
        const QByteArray data = readExactly(qsizetype(length));
        if (id == Stdout) {
            result.output += data;
        } else if (id == Stderr) {
            standardError += data;
        } else if (id == Exit) {
            result.exitCode = data.isEmpty() ? 0 : quint8(data[0]);
            break;
        }
    }
    result.output += standardError;
    return result;
}
