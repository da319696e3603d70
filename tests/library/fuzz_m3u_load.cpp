// Any bytes as an M3U playlist: the reader, then the writer of what was read.
#include "library/music_item.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    lyb::LibraryContext context;
    lyb::M3UPlaylist playlist;
    playlist.path = "/nonexistent-lyb-fuzz/list.m3u";
    playlist.DeriveTitle();
    playlist.LoadFromBytes(bytes, playlist.path, context);
    (void)playlist.RenderM3U(false, {});
    (void)playlist.RenderM3U(true, "/nonexistent-lyb-fuzz");
    return 0;
}
