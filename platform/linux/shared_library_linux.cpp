#include "platform/shared_library.h"

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

namespace lyb {

bool SharedLibrary::Open(const std::string& path) {
    Close();
    m_error.clear();
    // RTLD_LOCAL: each component keeps its own symbols; RTLD_NOW: an
    // incomplete library fails here, not at the first call.
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* e = ::dlerror();
        m_error = e ? e : "dlopen failed";
        return false;
    }
    return true;
}

void* SharedLibrary::Symbol(const char* name) const {
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

void SharedLibrary::Close() {
    if (m_handle) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

std::string ProgramPath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string ProgramFolder() {
    const std::string path = ProgramPath();
    if (path.empty())
        return ".";
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string CurrentFolder() {
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

} // namespace lyb
