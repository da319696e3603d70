#include "platform/cdrom/cue_sheet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cctype>
#include <sstream>

namespace lyb {
namespace {

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

// Splits a line into words; a double-quoted word may hold blanks.
bool Words(const std::string& line, std::vector<std::string>& out) {
    out.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i >= line.size()) break;
        std::string w;
        if (line[i] == '"') {
            std::size_t end = line.find('"', i + 1);
            if (end == std::string::npos) return false;
            w = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) w += line[i++];
        }
        out.push_back(std::move(w));
    }
    return true;
}

bool ParseMsf(const std::string& text, std::uint32_t& frames) {
    unsigned m = 0, s = 0, f = 0;
    char c1 = 0, c2 = 0, extra = 0;
    if (text.size() > 12) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != ':') return false;
    if (std::sscanf(text.c_str(), "%u%c%u%c%u%c", &m, &c1, &s, &c2, &f, &extra) != 5) return false;
    if (c1 != ':' || c2 != ':' || s > 59 || f > 74 || m > 99) return false;
    frames = (m * 60 + s) * 75 + f;
    return true;
}

bool ParseNumber(const std::string& text, int lo, int hi, int& value) {
    if (text.empty() || text.size() > 3) return false;
    int v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    value = v;
    return true;
}

} // namespace

bool ParseCueSheet(std::string_view text, const std::string& folder, CueSheet& sheet, std::string& error) {
    sheet = CueSheet{};
    std::istringstream in{std::string(text)};
    std::string raw;
    int lineNo = 0;
    std::vector<std::string> w;
    bool haveIndex1 = true;
    auto fail = [&](const std::string& why) {
        error = "CUE line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        std::string line = Trim(raw);
        if (lineNo == 1 && line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF) line = Trim(line.substr(3));
        if (line.empty()) continue;
        if (!Words(line, w)) return fail("unterminated quote");
        std::string key = w[0];
        for (auto& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (key == "FILE") {
            if (w.size() < 2 || w[1].empty()) return fail("FILE without a name");
            if (w.size() >= 3) {
                std::string type = w[2];
                for (auto& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (type != "BINARY") return fail("only BINARY files are supported");
            }
            if (!haveIndex1) return fail("track without INDEX 01");
            CueFile f;
            f.path = (!w[1].empty() && w[1][0] == '/') || folder.empty() ? w[1] : folder + "/" + w[1];
            sheet.files.push_back(std::move(f));
        } else if (key == "TRACK") {
            if (sheet.files.empty()) return fail("TRACK before FILE");
            if (w.size() < 3) return fail("TRACK needs a number and a mode");
            int number = 0;
            if (!ParseNumber(w[1], 1, 99, number)) return fail("bad track number");
            if (!sheet.tracks.empty() && number != sheet.tracks.back().number + 1) return fail("track numbers must ascend by one");
            if (!haveIndex1) return fail("track without INDEX 01");
            std::string mode = w[2];
            for (auto& c : mode) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            CueTrack t;
            t.number = number;
            if (mode == "AUDIO") t.audio = true;
            else if (mode == "MODE1/2352" || mode == "MODE2/2352") t.audio = false;
            else return fail("unsupported track mode " + w[2]);
            t.fileIndex = sheet.files.size() - 1;
            sheet.tracks.push_back(t);
            haveIndex1 = false;
        } else if (key == "INDEX") {
            if (sheet.tracks.empty() || w.size() < 3) return fail("bad INDEX");
            int idx = 0;
            std::uint32_t at = 0;
            if (!ParseNumber(w[1], 0, 99, idx)) return fail("bad index number");
            if (!ParseMsf(w[2], at)) return fail("bad time " + w[2]);
            CueTrack& t = sheet.tracks.back();
            if (t.fileIndex != sheet.files.size() - 1) return fail("INDEX in another FILE than its TRACK");
            if (idx == 1) {
                if (haveIndex1) return fail("second INDEX 01");
                t.fileFrame = at;
                haveIndex1 = true;
            }
        } else if (key == "TITLE") {
            if (w.size() >= 2) (sheet.tracks.empty() ? sheet.title : sheet.tracks.back().title) = w[1];
        } else if (key == "REM" || key == "PERFORMER" || key == "SONGWRITER" || key == "CATALOG" || key == "ISRC" ||
                   key == "FLAGS" || key == "PREGAP" || key == "POSTGAP" || key == "CDTEXTFILE") {
            // Metadata this drive does not report.
        } else {
            return fail("unknown command " + w[0]);
        }
    }
    lineNo = 0;
    if (!haveIndex1) return fail("last track without INDEX 01");
    if (sheet.tracks.empty()) return fail("no tracks");
    return true;
}

bool LayOutCueSheet(CueSheet& sheet, std::string& error) {
    std::uint32_t base = 0;
    for (auto& f : sheet.files) {
        f.baseLba = base;
        if (f.frames > 450000u - base) {
            error = "the image is longer than 100 minutes";
            return false;
        }
        base += f.frames;
    }
    sheet.leadOutLba = base;
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        CueTrack& t = sheet.tracks[i];
        const CueFile& f = sheet.files[t.fileIndex];
        if (t.fileFrame >= f.frames) {
            error = "track " + std::to_string(t.number) + " starts beyond the end of its file";
            return false;
        }
        t.lba = f.baseLba + t.fileFrame;
        std::uint32_t end = f.baseLba + f.frames;
        if (i + 1 < sheet.tracks.size() && sheet.tracks[i + 1].fileIndex == t.fileIndex)
            end = f.baseLba + sheet.tracks[i + 1].fileFrame;
        if (end <= t.lba) {
            error = "track " + std::to_string(t.number) + " has no frames";
            return false;
        }
        t.frames = end - t.lba;
    }
    return true;
}

bool LoadCueSheet(const std::string& cuePath, CueSheet& sheet, std::string& error) {
    // Only a regular file of at most kCueSheetLimit bytes is read, and never
    // more than that: a device or pipe named as the sheet (/dev/zero, a FIFO)
    // must not hang or exhaust the program.
    int fd = ::open(cuePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open CUE sheet " + cuePath;
        return false;
    }
    struct stat sheetStat {};
    if (::fstat(fd, &sheetStat) != 0 || !S_ISREG(sheetStat.st_mode)) {
        ::close(fd);
        error = "CUE sheet is not a regular file: " + cuePath;
        return false;
    }
    if (sheetStat.st_size > off_t(kCueSheetLimit)) {
        ::close(fd);
        error = "CUE sheet too large";
        return false;
    }
    std::string text(kCueSheetLimit + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += std::size_t(n);
    }
    ::close(fd);
    if (got > kCueSheetLimit) {
        error = "CUE sheet too large";
        return false;
    }
    text.resize(got);
    std::string folder = ".";
    if (auto slash = cuePath.rfind('/'); slash != std::string::npos) folder = cuePath.substr(0, slash == 0 ? 1 : slash);
    if (!ParseCueSheet(text, folder, sheet, error)) return false;
    for (auto& f : sheet.files) {
        struct stat st {};
        if (::stat(f.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            error = "BIN file not found: " + f.path;
            return false;
        }
        if (st.st_size % 2352 != 0) {
            error = "BIN file does not hold whole 2352-byte frames: " + f.path;
            return false;
        }
        if (st.st_size / 2352 > 450000) {
            error = "BIN file too large: " + f.path;
            return false;
        }
        f.frames = static_cast<std::uint32_t>(st.st_size / 2352);
    }
    return LayOutCueSheet(sheet, error);
}

} // namespace lyb
