#pragma once

#include "AdbUSBHandle.h"

// Port forwarding from the computer to a phone.
class AdbForwardServer
{
public:
    // Afterwards a connection to 127.0.0.1:localPort reaches remotePort on the phone; 0 on failure.
    static quint16 forward(PAdbUSBHandle handle, quint16 localPort, quint16 remotePort, QString *error);
    // Ends the forward of localPort once its session is over; nothing happens when there is none.
    static void removeForward(PAdbUSBHandle handle, quint16 localPort);
};
