#include "AdbForwardServer.h"

quint16 AdbForwardServer::forward(PAdbUSBHandle handle, quint16 localPort, quint16 remotePort, QString *error)
{
    if (!handle) {
        if (error)
            *error = QStringLiteral("No phone.");
        return 0;
    }
    return handle->forward(localPort, remotePort, error);
}

void AdbForwardServer::removeForward(PAdbUSBHandle handle, quint16 localPort)
{
    if (handle)
        handle->removeForward(localPort);
}
