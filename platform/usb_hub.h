// The name of the machine's first USB root hub, for the start-up trace.
#pragma once

#include <string>

namespace lyb {

/// Asks the host controllers in order (root hubs usb1 to usb10 under
/// `sysRoot`/bus/usb/devices) and names the first that answers:
/// "usb1 1d6b:0002 0000:00:14.0" (bus name, vendor and product id, the
/// controller's address). "" when none answers.
std::string UsbRootHubName(const std::string& sysRoot = "/sys");

} // namespace lyb
