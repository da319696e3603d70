#include "platform/usb_hub.h"

#include <fstream>

namespace lyb {

namespace {

bool ReadLine(const std::string& path, std::string& line) {
    std::ifstream in(path);
    if (!in || !std::getline(in, line))
        return false;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return true;
}

} // namespace

std::string UsbRootHubName(const std::string& sysRoot) {
    // Ten attempts, as many host controllers as the original asked.
    for (int n = 0; n < 10; ++n) {
        const std::string hub = "usb" + std::to_string(n + 1);
        const std::string dir = sysRoot + "/bus/usb/devices/" + hub;
        std::string vendor, product;
        if (!ReadLine(dir + "/idVendor", vendor) || !ReadLine(dir + "/idProduct", product))
            continue;
        std::string name = hub + " " + vendor + ":" + product;
        std::string controller;
        if (ReadLine(dir + "/serial", controller) && !controller.empty())
            name += " " + controller;
        return name;
    }
    return {};
}

} // namespace lyb
