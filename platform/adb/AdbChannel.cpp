#include "AdbChannel.h"

#include "AdbError.h"

AdbChannel::~AdbChannel() = default;

void AdbChannel::writeFromPipe(const QByteArray &, int, qint64)
{
    throw AdbError(QStringLiteral("This connection to the phone cannot send from a pipe."));
}
