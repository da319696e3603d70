#include "platform/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace lyb {
namespace {

std::atomic<bool> g_enabled{false};
std::mutex g_mutex;
std::function<void(std::string_view)>& SinkRef() {
    static std::function<void(std::string_view)> sink;
    return sink;
}

} // namespace

bool TraceEnabled() noexcept { return g_enabled.load(std::memory_order_relaxed); }

void Trace(std::string_view text) noexcept {
    if (!g_enabled.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& sink = SinkRef();
    if (sink) {
        try {
            sink(text);
        } catch (...) {
            // A failing sink must never take the caller down.
        }
    }
}

void TraceFormat(const char* format, ...) noexcept {
    if (!g_enabled.load(std::memory_order_relaxed))
        return;
    char small[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(copy);
        Trace(std::string_view(small, static_cast<size_t>(n)));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, copy);
    va_end(copy);
    big.resize(static_cast<size_t>(n));
    Trace(big);
}

void SetTraceSink(std::function<void(std::string_view)> sink) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const bool on = static_cast<bool>(sink);
    SinkRef() = std::move(sink);
    g_enabled.store(on, std::memory_order_relaxed);
}

void InitTraceFromEnvironment() {
    const char* value = std::getenv("LYB30_TRACE");
    if (!value || !*value || std::string_view(value) == "0") {
        SetTraceSink({});
        return;
    }
    std::string_view v(value);
    if (v == "1" || v == "stderr") {
        SetTraceSink([](std::string_view t) {
            std::fprintf(stderr, "[lyb30] %.*s\n", static_cast<int>(t.size()), t.data());
        });
        return;
    }
    std::shared_ptr<FILE> file(std::fopen(value, "a"), [](FILE* f) {
        if (f)
            std::fclose(f);
    });
    if (!file)
        return;
    SetTraceSink([file](std::string_view t) {
        std::fprintf(file.get(), "%.*s\n", static_cast<int>(t.size()), t.data());
        std::fflush(file.get());
    });
}

} // namespace lyb
