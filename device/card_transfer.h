// The transfer for a command line: the records of files and playlists named
// on it, and a transfer session run to its end with progress on a terminal.
#pragma once

#include "device/transfer.h"
#include "library/media_context.h"

#include <cstdio>
#include <string>
#include <vector>

namespace lyb {

/// The records the transfer takes for `paths`: a music file gives its own
/// record (read from its tags; a missing title becomes the file's name), an
/// M3U playlist the records of its tracks in playlist order. Files that
/// cannot be read or whose type is not enabled are named in `refused`.
std::vector<MusicItem> TransferRecords(const std::vector<std::string>& paths, const LibraryContext& context,
                                       std::vector<std::string>& refused);

/// Runs a transfer of `items` to the manager's selected phone with
/// `services` (its dialog and page targets are the function's own).
/// Progress goes to `progress`: one line redrawn on a terminal, a line per
/// file otherwise. Ctrl+C cancels as the dialog's button does. The failed
/// files and the summary go to `result` at the end. Returns 0 when
/// everything was transferred, 1 when something was not, 2 when the
/// transfer did not start (no phone selected, nothing to transfer, or no
/// room and the question answered No).
int RunTerminalTransfer(TransferServices services, std::vector<MusicItem> items, std::FILE* progress,
                        bool terminal, std::FILE* result);

} // namespace lyb
