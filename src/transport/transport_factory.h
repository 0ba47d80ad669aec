#pragma once

// The one place that decides which transport the program talks to. It sits above the real (src/usb) and
// the virtual (src/sim) transports, so neither has to know the other; the function keeps the usb
// namespace of the interface it hands out.

#include "usb/transport.h"

#include <memory>
#include <string>

namespace nemora::usb {

// The transport for this process, chosen once at start-up:
// - when the environment variable NEMORA_SIM is set (even to the empty string, which means "no device"),
//   the virtual devices it describes (src/sim), plugged and unplugged through the control file;
// - otherwise real USB through libusb.
//
// Call it once, from any thread, and keep the result for the life of the program; everything above the
// transport uses only the Transport interface. Never prints.
//
// Returns nullptr when the transport cannot be had, with a one-line message in *error (when `error` is
// not null): a malformed NEMORA_SIM names the device, the key and the bad value (it is never silently
// replaced by real USB), and a libusb that cannot start says so with libusb's error name. On success
// *error is cleared.
std::unique_ptr<Transport> CreateTransport(std::string* error);

} // namespace nemora::usb
