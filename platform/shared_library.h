// Libraries loaded by file name at run time, and the program's own folder.
#pragma once

#include <string>

namespace lyb {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() { Close(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    /// Loads the library at `path` (a full path; no search). False on failure,
    /// with Error() telling why.
    bool Open(const std::string& path);
    /// The exported symbol, or null.
    void* Symbol(const char* name) const;
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }
    const std::string& Error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

/// The folder of the running program (from /proc/self/exe), without a
/// trailing '/'; "." when it cannot be found.
std::string ProgramFolder();

/// The running program's own file (from /proc/self/exe); "" when unknown.
std::string ProgramPath();

/// The current working directory ("." when unknown).
std::string CurrentFolder();

} // namespace lyb
