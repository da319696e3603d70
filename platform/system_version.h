// Which line of the operating-system family the CD code should behave as.
//
// The consumer line reaches CD drives through the ASPI manager, the NT line
// through the CD-ROM device controls. On Linux both transports work, so the
// line is a choice: the NT line unless the environment variable
// LYB30_OS_LINE is "consumer" (or a test overrides it).
#pragma once

#include <optional>

namespace lyb {

enum class OsLine { Consumer, NT };

struct SystemVersion {
    OsLine line = OsLine::NT;
    unsigned version = 0x0501; ///< major << 8 | minor, as traced ("OS version 0x%x")
};

/// The version in force: the override if set, else from the environment.
SystemVersion CurrentSystemVersion();

/// Tests choose the line per case; std::nullopt returns to the environment.
void SetSystemVersionOverride(std::optional<SystemVersion> version);

} // namespace lyb
