// Helpers of the music library tests: temporary folders, files made by real
// encoders (ffmpeg with libmp3lame) and a fake playback engine.
#pragma once

#include "library/media_context.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace lyb::test {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "lyb-library-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        m_path = made ? made : pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// The lines of a text file, each without its CR LF or LF.
inline std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> out;
    const std::string text = ReadFile(path);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
        pos = end + 1;
    }
    return out;
}

/// The entries (paths) of an M3U file: its lines that are neither empty nor "#...".
inline std::vector<std::string> M3UEntries(const std::string& path) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(path))
        if (!line.empty() && line[0] != '#')
            out.push_back(line);
    return out;
}

/// The titles of a "data.ms": every third line from the first.
inline std::vector<std::string> StudioTitles(const std::string& path) {
    std::vector<std::string> out;
    const std::vector<std::string> lines = Lines(path);
    for (size_t i = 0; i < lines.size(); i += 3)
        out.push_back(lines[i]);
    return out;
}

inline bool HaveTool(const char* tool) {
    std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

/// Runs a shell command quietly; true on exit status 0.
inline bool Run(const std::string& cmd) {
    return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0;
}

/// Output of a shell command.
inline std::string Capture(const std::string& cmd) {
    std::string out;
    if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

/// One second of a sine as MP3 through ffmpeg/libmp3lame; `extra` adds
/// options such as metadata and "-id3v2_version 3" (0 writes no tag).
inline bool MakeMp3(const std::string& path, const std::string& extra = "-id3v2_version 0",
                    double seconds = 1.0, int channels = 2) {
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
           "sine=frequency=440:duration="
        << seconds << " -ac " << channels << " -c:a libmp3lame -b:a 64k -write_xing 0 " << extra
        << " " << Quote(path);
    return Run(cmd.str());
}

inline bool MakeAac(const std::string& path, double seconds = 1.0) {
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i sine=duration=" << seconds
        << " -c:a aac -b:a 64k -f adts " << Quote(path);
    return Run(cmd.str());
}

/// Answers length queries from a table; records how often it was asked and
/// whether two queries ever overlapped.
class FakeEngine final : public LengthQueryEngine {
  public:
    std::map<std::string, double> mp3Seconds;
    std::map<std::string, double> aacMilliseconds;
    std::atomic<int> calls{0};
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};

    /// Queries made on the calling thread (the others come from the probes).
    int CallsOnThisThread() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return int(std::count(m_callers.begin(), m_callers.end(), std::this_thread::get_id()));
    }

    bool Mp3LengthSeconds(const std::string& path, double& seconds) override {
        return Answer(mp3Seconds, path, seconds);
    }
    bool AacLengthMilliseconds(const std::string& path, double& ms) override {
        return Answer(aacMilliseconds, path, ms);
    }

  private:
    bool Answer(const std::map<std::string, double>& table, const std::string& path, double& out) {
        ++calls;
        if (++inside > 1)
            overlapped = true;
        bool found = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_callers.push_back(std::this_thread::get_id());
            auto it = table.find(path);
            if (it != table.end()) {
                out = it->second;
                found = true;
            }
        }
        --inside;
        return found;
    }
    std::mutex m_mutex;
    std::vector<std::thread::id> m_callers;
};

} // namespace lyb::test
