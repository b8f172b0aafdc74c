#pragma once

#include "PeerConnection.h"

#include <functional>
#include <memory>

namespace tarnwick::peers {

// One service of a simulated device, serving one connection that the computer opened to the port
// lockdown gave out for it. serve() runs on the connection's own thread and returns when the
// conversation is over; the connection is closed afterwards.
class PeerService
{
public:
    virtual ~PeerService() = default;
    virtual void serve(PeerConnection &connection) = 0;
};

// Makes the service object for one connection.
using PeerServiceFactory = std::function<std::unique_ptr<PeerService>()>;

} // namespace tarnwick::peers
