#include "transport/transport_factory.h"

#include "sim/sim_transport.h"
#include "usb/libusb_transport.h"

#include <cstdlib>

namespace nemora::usb {

std::unique_ptr<Transport> CreateTransport(std::string* error)
{
    std::string message;
    std::unique_ptr<Transport> transport;
    if (std::getenv("NEMORA_SIM") != nullptr) {
        transport = sim::CreateTransportFromEnvironment(message);
        if (!transport && message.empty()) {
            message = "NEMORA_SIM: the virtual devices cannot be started";
        }
    } else {
        transport = LibusbTransport::Create(message);
    }
    if (error != nullptr) {
        *error = transport ? std::string() : message;
    }
    return transport;
}

} // namespace nemora::usb
