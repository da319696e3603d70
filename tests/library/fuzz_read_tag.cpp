// Any bytes at the start of a file: the tag reader, the text getters, the
// re-render of what was read, the ID3v1 record and the MPEG header.
#include "library/id3v2_tag.h"
#include "library/media_info.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    lyb::ID3v2Tag tag;
    if (tag.ReadTagFromBytes(bytes)) {
        (void)tag.GetTitle();
        (void)tag.GetArtist();
        (void)tag.GetURL();
        (void)tag.GetLength();
        (void)tag.GetTextFrame("TALB", 1000);
        tag.SetTitle("fuzz");
        tag.SetURL("http://fuzz.example/\xC3\xA9");
        tag.SetArtist("");
        tag.SetLength(0xFFFFFFFFu);
        if (tag.GrowToFit()) {
            lyb::ID3v2Tag again;
            (void)again.ReadTagFromBytes(tag.Rendered());
        }
    }
    lyb::ID3v2Tag info;
    if (info.ReadTagFromBytes(bytes, lyb::ID3v2Tag::ReadMode::Info))
        (void)info.GetTitle();
    if (size >= 128) {
        lyb::ID3v1Record v1;
        (void)v1.Parse(bytes.substr(size - 128));
    }
    if (size >= 4)
        (void)lyb::ParseMpegHeader(data);
    return 0;
}
