// Opening files that users name, without surprises: only regular files are
// opened, and nothing ever blocks on a FIFO or wakes a device.
#pragma once

#include <cstdio>
#include <string>

namespace lyb {

/// Opens a regular file (`mode` as for fopen: "rb", "r+b"). A FIFO, a
/// device or a folder carrying the name is refused without being opened
/// (reading a FIFO would wait for a writer; opening some devices does
/// things). Null on failure, with errno set.
std::FILE* OpenRegularFile(const std::string& path, const char* mode);

/// True when the path exists and this process may read it; nothing is opened.
bool IsReadable(const std::string& path);

} // namespace lyb
