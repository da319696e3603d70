#include "app/command_line.h"

#include "platform/cdrom/cdrom_device.h"
#include "platform/path.h"

#include <algorithm>
#include <array>
#include <climits>

namespace lyb {

namespace {

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace

CommandLineInfo ParseCommandLine(const std::vector<std::string>& args) {
    static constexpr std::array<std::string_view, 8> kSwitches = {
        "play", "nologo", "p", "pt", "dde", "embedding", "automation", "unregister"};
    CommandLineInfo info;
    for (const std::string& a : args) {
        if (a.size() > 1 && (a[0] == '/' || a[0] == '-')) {
            const std::string word = LowerAscii(std::string_view(a).substr(1));
            if (std::find(kSwitches.begin(), kSwitches.end(), word) != kSwitches.end()) {
                if (word == "play")
                    info.playSwitch = true;
                if (word == "nologo" || word == "embedding" || word == "automation" || word == "unregister")
                    info.showSplash = false;
                continue;
            }
        }
        if (a.empty() || !info.fileName.empty())
            continue;
        info.fileName = a;
        info.command = ShellCommand::FileOpen;
    }
    return info;
}

int TrackIndexFromName(std::string_view name) {
    long long n = 0;
    int digits = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            continue;
        if (digits == 10)
            break;
        n = n * 10 + (c - '0');
        ++digits;
    }
    if (digits == 0)
        return -1;
    if (n > INT_MAX)
        n = INT_MAX;
    return static_cast<int>(n - 1);
}

CdRequest ParseCdRequest(const std::string& argument, const std::vector<std::string>& drives,
                         bool (*isCdDrive)(const std::string& root)) {
    CdRequest r;
    if (argument.size() <= 2)
        return r;
    const PathParts p = SplitCdPath(argument, drives);
    const bool listedVirtual = IsVirtualDriveNode(p.drive);
    if (p.drive.empty() || (!listedVirtual && (!isCdDrive || !isCdDrive(p.drive))))
        return r;
    const bool bareRoot = argument == p.drive || argument == p.drive + "/";
    if (p.ext != ".cda" && p.ext != ".CDA" && !bareRoot)
        return r;
    r.forCdTrack = true;
    for (size_t i = 0; i < drives.size(); ++i) {
        if (drives[i] == p.drive) {
            r.drive = static_cast<int>(i);
            r.track = TrackIndexFromName(p.name);
            break;
        }
    }
    return r;
}

PathParts SplitCdPath(std::string_view path, const std::vector<std::string>& drives) {
    for (const std::string& drive : drives) {
        if (!IsVirtualDriveNode(drive) || path.substr(0, drive.size()) != drive)
            continue;
        if (path.size() > drive.size() && path[drive.size()] != '/')
            continue;
        PathParts parts = SplitPath(path.substr(drive.size()));
        parts.drive = drive;
        return parts;
    }
    return SplitPath(path);
}

} // namespace lyb
