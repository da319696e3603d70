// Starting other programs: the installed program from the installer, the
// CD access setup of a distribution.
#pragma once

#include <string>
#include <vector>

namespace lyb {

/// Starts `program` with `args` in the folder `cwd`, not waiting for it
/// (it outlives the caller). 0, or errno when it could not be started.
int StartDetached(const std::string& program, const std::vector<std::string>& args, const std::string& cwd);

struct ProcessRun {
    int error = 0;      ///< errno when it could not be started
    int exitCode = -1;  ///< -1 when it did not end by itself in time
    std::string output; ///< standard output and standard error
};

/// Runs `program` in `cwd` and waits at most `timeoutMs` for it, keeping at
/// most `outputLimit` bytes of what it prints. A program still running at
/// the time limit is ended.
ProcessRun RunAndCapture(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int timeoutMs, std::size_t outputLimit = 64 * 1024);

} // namespace lyb
