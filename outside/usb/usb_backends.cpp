#include "outside/usb/usb_backends.h"

#include "platform/text.h"
#include "platform/volumes.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace lyb::usb {

namespace fs = std::filesystem;

namespace {

// The first line of a small sysfs attribute, without its newline.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::uint32_t Hex(const std::string& text) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    return end && end != text.c_str() && v <= 0xFFFF ? static_cast<std::uint32_t>(v) : 0;
}

std::string Real(const fs::path& p) {
    std::error_code ec;
    fs::path r = fs::canonical(p, ec);
    return ec ? std::string() : r.string();
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The kernel name of the block device a mount comes from ("sdb1"), or "".
std::string KernelNameOf(const std::string& source) {
    if (source.rfind("/dev/", 0) != 0)
        return {};
    // Sources may be links (/dev/disk/by-uuid/...): the node they name counts.
    std::string node = Real(source);
    if (node.empty() || node.rfind("/dev/", 0) != 0)
        node = source;
    return fs::path(node).filename().string();
}

} // namespace

std::vector<UsbDeviceInfo> ListSysfsDevices(const std::string& sysRoot, std::string_view mountInfo) {
    std::vector<UsbDeviceInfo> out;
    const fs::path devices = fs::path(sysRoot) / "bus/usb/devices";
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(devices, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find(':') == std::string::npos) // "1-1:1.0" is an interface
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());

    // Every block device (disks and partitions) with the folder it sits in.
    std::vector<std::pair<std::string, std::string>> blocks; // kernel name, real folder
    for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "class/block", ec))
        blocks.emplace_back(entry.path().filename().string(), Real(entry.path()));

    const std::vector<Volume> volumes = ParseMountInfo(mountInfo, {}, {});

    for (const std::string& name : names) {
        const fs::path dir = devices / name;
        const std::string vendor = Attribute(dir / "idVendor");
        if (vendor.empty())
            continue;
        UsbDeviceInfo info;
        info.vendorId = Hex(vendor);
        info.productId = Hex(Attribute(dir / "idProduct"));
        info.busName = name;
        info.manufacturer = DecodeTextLine(Attribute(dir / "manufacturer"));
        info.product = DecodeTextLine(Attribute(dir / "product"));
        for (const auto& sub : fs::directory_iterator(dir, ec)) {
            const std::string subName = sub.path().filename().string();
            if (subName.rfind(name + ":", 0) == 0 && Attribute(sub.path() / "bInterfaceClass") == "08")
                info.storage = true;
        }
        std::vector<std::string> mounts;
        if (info.storage) {
            const std::string real = Real(dir);
            std::set<std::string> mine; // block devices below this USB device
            for (const auto& [kernel, folder] : blocks)
                if (!real.empty() && folder.size() > real.size() && folder.compare(0, real.size(), real) == 0 &&
                    folder[real.size()] == '/')
                    mine.insert(kernel);
            std::set<std::string> seen;
            for (const Volume& v : volumes) {
                const std::string kernel = KernelNameOf(v.device);
                if (!kernel.empty() && mine.count(kernel) && seen.insert(v.mountPoint).second)
                    mounts.push_back(v.mountPoint);
            }
        }
        if (mounts.empty()) {
            out.push_back(info);
            continue;
        }
        for (const std::string& m : mounts) {
            out.push_back(info);
            out.back().mountPoint = m;
        }
    }
    return out;
}

std::vector<UsbDeviceInfo> ParseSimDevices(std::string_view text, const std::string& baseFolder) {
    std::vector<UsbDeviceInfo> out;
    int index = 0;
    for (std::string_view raw : SplitLines(text)) {
        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#')
            continue;
        std::vector<std::string_view> fields;
        size_t start = 0;
        for (;;) {
            const size_t bar = line.find('|', start);
            fields.push_back(Trim(line.substr(start, bar == std::string_view::npos ? line.npos : bar - start)));
            if (bar == std::string_view::npos)
                break;
            start = bar + 1;
        }
        if (fields.size() < 3 || fields[2].empty())
            continue;
        const int number = index++;
        fs::path folder{std::string(fields[2])};
        if (folder.is_relative())
            folder = fs::path(baseFolder) / folder;
        std::error_code ec;
        if (!fs::is_directory(folder, ec))
            continue; // the card is not in: the device is not connected
        UsbDeviceInfo info;
        info.busName = "sim" + std::to_string(number);
        info.manufacturer = std::string(fields[0]);
        info.product = std::string(fields[1]);
        info.mountPoint = folder.lexically_normal().string();
        while (info.mountPoint.size() > 1 && info.mountPoint.back() == '/')
            info.mountPoint.pop_back();
        info.storage = true;
        out.push_back(std::move(info));
    }
    return out;
}

std::vector<UsbDeviceInfo> ListSimDevices(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseSimDevices(text, fs::path(path).parent_path().string());
}

} // namespace lyb::usb
