// Trace facility: progress and diagnostic texts from every subsystem.
//
// The sink is off by default and then costs one relaxed atomic load per call
// (TraceFormat does not even format). It is turned on by the environment
// variable LYB30_TRACE: "stderr" (or "1") writes to standard error, any other
// value is a file path the texts are appended to. Tests may install their own
// sink with SetTraceSink.
#pragma once

#include <functional>
#include <string_view>

namespace lyb {

/// True when a sink is installed; callers may skip building expensive texts.
bool TraceEnabled() noexcept;

/// Passes one text to the sink (one line; no newline needed).
void Trace(std::string_view text) noexcept;

/// printf-style formatting, then Trace. Nothing is formatted while disabled.
void TraceFormat(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

/// Installs a sink (thread-safe); an empty function disables tracing.
/// The sink may be called from any thread, one call at a time.
void SetTraceSink(std::function<void(std::string_view)> sink);

/// Reads LYB30_TRACE and installs the matching sink; called once at start-up.
void InitTraceFromEnvironment();

} // namespace lyb
