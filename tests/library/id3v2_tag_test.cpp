// ID3v2 tags as bytes: reading all three versions, the encodings, hostile
// sizes, editing, rendering and the two ways of writing a tag into a file.
#include "library/id3v2_tag.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace lyb;
using lyb::test::ReadFile;
using lyb::test::TempDir;
using lyb::test::WriteFile;

namespace {

std::string Be(uint32_t v, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
}

std::string SyncSafe(uint32_t v) {
    std::string s;
    for (int i = 3; i >= 0; --i)
        s.push_back(static_cast<char>((v >> (7 * i)) & 0x7F));
    return s;
}

std::string Header(int version, uint8_t flags, uint32_t size) {
    return std::string("ID3") + char(version) + '\0' + char(flags) + SyncSafe(size);
}

// A frame of version 3 (plain 32-bit size) or 4 (sync-safe size).
std::string Frame34(int version, const std::string& id, const std::string& data) {
    return id + (version == 4 ? SyncSafe(uint32_t(data.size())) : Be(uint32_t(data.size()), 4)) +
           std::string(2, '\0') + data;
}

std::string Frame22(const std::string& id, const std::string& data) {
    return id + Be(uint32_t(data.size()), 3) + data;
}

std::string Tag(int version, const std::string& frames, uint32_t padding = 16, uint8_t flags = 0,
                const std::string& ext = {}) {
    std::string body = ext + frames + std::string(padding, '\0');
    return Header(version, flags, uint32_t(body.size())) + body;
}

std::string Latin1(const std::string& text) {
    return std::string(1, '\0') + text;
}

} // namespace

TEST(ID3v2Read, FrameSizesOfVersions22And23ArePlainBigEndian) {
    // 200 bytes of data: plain 00 00 00 C8, which a sync-safe reader would take as 72.
    const std::string title(199, 'x');
    ID3v2Tag v3;
    ASSERT_TRUE(v3.ReadTagFromBytes(
        Tag(3, Frame34(3, "TIT2", Latin1(title)) + Frame34(3, "TPE1", Latin1("Artist")))));
    EXPECT_EQ(v3.MajorVersion(), 3);
    EXPECT_EQ(v3.GetTitle(), std::string(199, 'x').substr(0, 199));
    EXPECT_EQ(v3.GetArtist(), "Artist");

    ID3v2Tag v2;
    ASSERT_TRUE(v2.ReadTagFromBytes(Tag(2, Frame22("TT2", Latin1(std::string(150, 'y'))) +
                                               Frame22("TP1", Latin1("Two")) +
                                               Frame22("TLE", Latin1("215000")))));
    EXPECT_EQ(v2.GetTitle(), std::string(150, 'y'));
    EXPECT_EQ(v2.GetArtist(), "Two");
    EXPECT_EQ(v2.GetLength(), 215u);

    ID3v2Tag v4;
    ASSERT_TRUE(v4.ReadTagFromBytes(
        Tag(4, Frame34(4, "TIT2", Latin1(title)) + Frame34(4, "TPE1", Latin1("Four")))));
    EXPECT_EQ(v4.GetTitle().size(), 199u);
    EXPECT_EQ(v4.GetArtist(), "Four");
}

TEST(ID3v2Read, ExtendedHeaderIsSkipped) {
    // 2.3: the size (6) does not count its own four bytes.
    std::string ext3 = SyncSafe(6) + std::string(6, '\0');
    ID3v2Tag v3;
    ASSERT_TRUE(v3.ReadTagFromBytes(Tag(3, Frame34(3, "TIT2", Latin1("T3")), 8, 0x40, ext3)));
    EXPECT_EQ(v3.FrameStart(), 10u);
    EXPECT_EQ(v3.GetTitle(), "T3");
    // 2.4: the size counts the whole extended header.
    std::string ext4 = SyncSafe(6) + std::string("\x01\x00", 2);
    ID3v2Tag v4;
    ASSERT_TRUE(v4.ReadTagFromBytes(Tag(4, Frame34(4, "TIT2", Latin1("T4")), 8, 0x40, ext4)));
    EXPECT_EQ(v4.FrameStart(), 6u);
    EXPECT_EQ(v4.GetTitle(), "T4");
    // An extended header as large as the tag leaves no frames.
    ID3v2Tag big;
    ASSERT_TRUE(big.ReadTagFromBytes(
        Tag(3, Frame34(3, "TIT2", Latin1("X")), 0, 0x40, SyncSafe(0x0FFFFFFF))));
    EXPECT_TRUE(big.Frames().empty());
}

TEST(ID3v2Read, TextEncodingsAndByteOrders) {
    auto read = [](const std::string& data) {
        ID3v2Tag tag;
        EXPECT_TRUE(tag.ReadTagFromBytes(Tag(3, Frame34(3, "TIT2", data))));
        return tag.GetTitle();
    };
    EXPECT_EQ(read(std::string("\0Caf\xE9", 5)), "Caf\xC3\xA9"); // ISO-8859-1
    EXPECT_EQ(read(std::string("\x01\xFF\xFE"
                               "A\0\xE9\0",
                               7)),
              "A\xC3\xA9");
    EXPECT_EQ(read(std::string("\x01\xFE\xFF\0A\0\xE9", 7)), "A\xC3\xA9");
    EXPECT_EQ(read(std::string("\x01"
                               "A\0B\0",
                               5)),
              "AB");                                     // no mark: little-endian
    EXPECT_EQ(read(std::string("\x02\0A\0B", 5)), "AB"); // UTF-16BE
    EXPECT_EQ(read(std::string("\x03"
                               "Caf\xC3\xA9",
                               6)),
              "Caf\xC3\xA9"); // UTF-8
    // Text ends at its terminator; an odd trailing byte is dropped.
    EXPECT_EQ(read(std::string("\x01\xFE\xFF\0A\0\0\0B", 9)), "A");
    EXPECT_EQ(read(std::string("\x01\xFF\xFE"
                               "A\0B",
                               6)),
              "A");
    EXPECT_EQ(read(std::string("\0Title\0junk", 11)), "Title");
}

TEST(ID3v2Read, LastNonEmptyFrameWinsAndTextIsCapped) {
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTagFromBytes(Tag(4, Frame34(4, "TIT2", Latin1("first")) +
                                                Frame34(4, "TIT2", Latin1("second")) +
                                                Frame34(4, "TIT2", ""))));
    EXPECT_EQ(tag.GetTitle(), "second");
    ID3v2Tag longer;
    ASSERT_TRUE(longer.ReadTagFromBytes(Tag(4, Frame34(4, "TIT2", Latin1(std::string(400, 'a'))))));
    EXPECT_EQ(longer.GetTitle().size(), 255u);
}

TEST(ID3v2Read, HostileInputIsReadAsFarAsItIsSound) {
    ID3v2Tag tag;
    EXPECT_FALSE(tag.ReadTagFromBytes("ID3"));
    EXPECT_FALSE(tag.ReadTagFromBytes(Header(5, 0, 0)));
    EXPECT_FALSE(tag.ReadTagFromBytes(Header(1, 0, 0)));
    EXPECT_FALSE(tag.ReadTagFromBytes(std::string("TAG") + std::string(20, '\0')));
    // Body shorter than the size.
    EXPECT_FALSE(tag.ReadTagFromBytes(Header(4, 0, 100) + std::string(50, 'A')));
    // A frame running past the tag ends the list; earlier frames are kept.
    std::string frames = Frame34(3, "TIT2", Latin1("kept")) + "TPE1" + Be(0x7FFFFFFF, 4) +
                         std::string(2, '\0') + "xx";
    ASSERT_TRUE(tag.ReadTagFromBytes(Tag(3, frames, 0)));
    ASSERT_EQ(tag.Frames().size(), 1u);
    EXPECT_EQ(tag.GetTitle(), "kept");
    EXPECT_EQ(tag.GetArtist(), "");
    // A frame header cut by the end of the tag.
    ASSERT_TRUE(tag.ReadTagFromBytes(Tag(4, Frame34(4, "TIT2", Latin1("a")) + "TPE", 0)));
    EXPECT_EQ(tag.Frames().size(), 1u);
    // Padding ends the frames even when bytes follow.
    ASSERT_TRUE(tag.ReadTagFromBytes(Tag(
        4, Frame34(4, "TIT2", Latin1("a")) + std::string(4, '\0') + Frame34(4, "TPE1", Latin1("b")),
        0)));
    EXPECT_EQ(tag.Frames().size(), 1u);
    // Empty frames and an empty tag body.
    ASSERT_TRUE(tag.ReadTagFromBytes(Tag(4, Frame34(4, "TIT2", ""), 0)));
    EXPECT_EQ(tag.GetTitle(), "");
    ASSERT_TRUE(tag.ReadTagFromBytes(Header(4, 0, 0)));
    EXPECT_TRUE(tag.Frames().empty());
}

TEST(ID3v2Read, HugeSizeInShortFileFailsWithoutAllocating) {
    TempDir dir;
    WriteFile(dir / "huge.mp3", Header(4, 0, 0x0FFFFFFF) + "TIT2");
    ID3v2Tag tag;
    EXPECT_FALSE(tag.ReadTag(dir / "huge.mp3"));
    EXPECT_FALSE(tag.ReadTag(dir / "missing.mp3"));
}

TEST(ID3v2Read, LengthFrame) {
    auto length = [](const std::string& text) {
        ID3v2Tag tag;
        EXPECT_TRUE(tag.ReadTagFromBytes(Tag(4, Frame34(4, "TLEN", Latin1(text)))));
        return tag.GetLength();
    };
    EXPECT_EQ(length("215000"), 215u);
    EXPECT_EQ(length("1999"), 1u);
    EXPECT_EQ(length("-1000"), 0xFFFFFFFFu);
    EXPECT_EQ(length("abc"), 0u);
    EXPECT_EQ(length("99999999999999999999999"),
              length("99999999999999999999999")); // no overflow trap
    ID3v2Tag none;
    EXPECT_EQ(none.GetLength(), 0u);
}

TEST(ID3v2Edit, SettersProduceTheStoredBytes) {
    ID3v2Tag tag; // a new tag is an empty version-4 tag
    tag.SetTitle("Ab");
    ASSERT_EQ(tag.Frames().size(), 1u);
    EXPECT_EQ(tag.Frames()[0].id, "TIT2");
    EXPECT_EQ(tag.Frames()[0].data, std::string("\x01\xFE\xFF\0A\0b\0\0", 9));
    tag.SetArtist("\xC3\xA9"); // U+00E9, no terminator
    EXPECT_EQ(tag.Frames()[1].data, std::string("\x01\xFE\xFF\0\xE9", 5));
    tag.SetLength(215);
    EXPECT_EQ(tag.Frames()[2].data, std::string("\0"
                                                "215000",
                                                7));
    tag.SetLength(0xFFFFFFFF);
    EXPECT_EQ(tag.Frames()[2].data, std::string("\0-1000", 6));
    EXPECT_EQ(tag.GetLength(), 0xFFFFFFFFu);
    tag.SetURL("http://x");
    EXPECT_EQ(tag.GetURL(), "http://x");
    EXPECT_EQ(tag.GetTitle(), "Ab");
    EXPECT_EQ(tag.GetArtist(), "\xC3\xA9");
    // Empty artist and URL remove their frames; the title replaces in place.
    tag.SetArtist("");
    tag.SetURL("");
    tag.SetTitle("New");
    ASSERT_EQ(tag.Frames().size(), 2u);
    EXPECT_EQ(tag.Frames()[0].id, "TIT2");
    EXPECT_EQ(tag.GetTitle(), "New");
    // Characters beyond the BMP survive as surrogate pairs.
    tag.SetTitle("\xF0\x9F\x8E\xB5");
    EXPECT_EQ(tag.GetTitle(), "\xF0\x9F\x8E\xB5");
}

TEST(ID3v2Edit, ResetRenderAndHeader) {
    ID3v2Tag tag;
    tag.SetTitle("x");
    tag.ResetTag();
    EXPECT_TRUE(tag.Frames().empty());
    EXPECT_EQ(tag.Size(), 1024u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tag.RawHeader()), 10),
              std::string("ID3\x04\0\0\0\0\x08\0", 10));
    ASSERT_TRUE(tag.RenderTag());
    EXPECT_EQ(tag.Rendered().size(), 1034u);
    tag.SetVersion(5);
    EXPECT_FALSE(tag.EncodeHeader());
    tag.SetVersion(4);

    tag.SetSize(20);
    tag.EncodeHeader();
    tag.SetRawTextFrame("TIT2", std::string(30, 'a'));
    EXPECT_FALSE(tag.RenderTag());

    // Rendered frames read back identically.
    ID3v2Tag built;
    built.SetTitleAndArtist("Title", "Artist");
    built.SetLength(61);
    ASSERT_TRUE(built.RenderTag());
    ID3v2Tag back;
    ASSERT_TRUE(back.ReadTagFromBytes(built.Rendered()));
    EXPECT_EQ(back.GetTitle(), "Title");
    EXPECT_EQ(back.GetArtist(), "Artist");
    EXPECT_EQ(back.GetLength(), 61u);
    EXPECT_EQ(back.Size(), 1024u);
}

TEST(ID3v2Edit, SetTitleAndArtistGrowsInSteps) {
    ID3v2Tag tag;
    tag.SetTitleAndArtist(std::string(700, 'T'), "A"); // 2 + 4 + 1400 bytes of title data
    EXPECT_EQ(tag.Size(), 1024u + 2 * 256u);
    EXPECT_TRUE(tag.RenderTag());
    EXPECT_EQ(tag.Size() % 256, 0u);
    EXPECT_LT(tag.FramesBytes(), size_t(tag.Size()) + 1);
    EXPECT_GT(tag.FramesBytes(), size_t(tag.Size()) - 256);
}

namespace {

// A file with a version-4 tag written by this code, then `audio`.
std::string MakeTaggedFile(const std::string& path, const std::string& audio,
                           const std::string& title) {
    ID3v2Tag tag;
    tag.SetTitleAndArtist(title, "Artist");
    EXPECT_TRUE(tag.RenderTag());
    WriteFile(path, tag.Rendered() + audio);
    return tag.Rendered() + audio;
}

std::string Audio(size_t n) {
    std::string audio(n, '\0');
    for (size_t i = 0; i < n; ++i)
        audio[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return audio;
}

} // namespace

TEST(ID3v2Write, InPlaceRewriteTouchesOnlyTheTag) {
    TempDir dir;
    const std::string path = dir / "song.mp3";
    const std::string audio = Audio(50000);
    const std::string before = MakeTaggedFile(path, audio, "Old");
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(path));
    const size_t total = tag.Size() + 10;
    tag.SetTitle("A new title");
    ASSERT_TRUE(tag.WriteTag(path, false));
    const std::string after = ReadFile(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(total), before.substr(total));
    EXPECT_NE(after.substr(0, total), before.substr(0, total));
    EXPECT_FALSE(std::filesystem::exists(dir / "song.mp~"));
    ID3v2Tag back;
    ASSERT_TRUE(back.ReadTag(path));
    EXPECT_EQ(back.GetTitle(), "A new title");
    EXPECT_EQ(back.GetArtist(), "Artist");
}

TEST(ID3v2Write, OutgrownTagIsRebuiltThroughTheTemporaryFile) {
    TempDir dir;
    const std::string path = dir / "song.mp3";
    const std::string audio = Audio(70000);
    MakeTaggedFile(path, audio, "Old");
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(path));
    ASSERT_EQ(tag.Size(), 1024u);
    tag.SetTitle(std::string(700, 'L')); // 1400+ bytes: one step is not enough
    ASSERT_TRUE(tag.WriteTag(path, false));
    EXPECT_EQ(tag.Size(), 1024u + 256u * 2);
    const std::string after = ReadFile(path);
    EXPECT_EQ(after.size(), tag.Size() + 10 + audio.size());
    EXPECT_EQ(after.substr(tag.Size() + 10), audio);
    EXPECT_FALSE(std::filesystem::exists(dir / "song.mp~"));
    ID3v2Tag back;
    ASSERT_TRUE(back.ReadTag(path));
    EXPECT_EQ(back.GetTextFrame("TIT2", 1000), std::string(700, 'L'));
    // One more step of 256 bytes when that is enough.
    back.SetArtist(std::string(120, 'A'));
    ASSERT_TRUE(back.WriteTag(path, false));
    EXPECT_EQ(back.Size(), 1024u + 256u * 3);
    EXPECT_EQ(ReadFile(path).substr(back.Size() + 10), audio);
    EXPECT_EQ(back.GetTitle().size(), 255u);
}

TEST(ID3v2Write, ForcedWriteKeepsTheWholeOldFileBehindTheTag) {
    TempDir dir;
    const std::string path = dir / "old.mp3";
    const std::string old = Tag(3, Frame34(3, "TIT2", Latin1("v23"))) + Audio(9000);
    WriteFile(path, old);
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(path));
    tag.SetTitleAndArtist("New", "Who");
    tag.SetLength(12);
    ASSERT_TRUE(tag.WriteTag(path, true));
    const std::string after = ReadFile(path);
    ASSERT_EQ(after.size(), 1034 + old.size());
    EXPECT_EQ(after.substr(1034), old);
    EXPECT_EQ(after[3], 4);
}

TEST(ID3v2Write, NewTagOnAnUntaggedFileNeverOverwritesAudio) {
    TempDir dir;
    const std::string path = dir / "bare.mp3";
    const std::string audio = Audio(5000);
    WriteFile(path, audio);
    ID3v2Tag tag;
    tag.SetTitleAndArtist("T", "A");
    ASSERT_TRUE(tag.WriteTag(path, false)); // size unchanged, but the file has no tag of that size
    const std::string after = ReadFile(path);
    EXPECT_EQ(after.size(), 1034 + audio.size());
    EXPECT_EQ(after.substr(1034), audio);
}

TEST(ID3v2Write, FailureLeavesTheOriginalUntouched) {
    TempDir dir;
    const std::string path = dir / "song.mp3";
    const std::string before = MakeTaggedFile(path, Audio(3000), "Old");
    // The rebuilt file cannot be written whole (a file size limit binds
    // root too): the original stays, no temporary file is left.
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(path));
    tag.SetTitle(std::string(2000, 'x'));
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = tag.WriteTag(path, false);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(path), before);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
    // A missing file is a failure and creates nothing.
    ID3v2Tag other;
    other.SetTitleAndArtist("a", "b");
    EXPECT_FALSE(other.WriteTag(dir / "missing.mp3", true));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.mp3"));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.mp~"));
}

// The temporary file of a rebuild used to be opened with truncation: a
// user's own "song.mp~" was overwritten, and a link of that name was
// written through.
TEST(ID3v2Write, TheTemporaryFileIsAlwaysANewFile) {
    TempDir dir;
    const std::string path = dir / "song.mp3";
    const std::string audio = Audio(3000);
    MakeTaggedFile(path, audio, "Old");
    WriteFile(dir / "song.mp~", "a user's backup");
    WriteFile(dir / "victim", "victim");
    std::filesystem::create_directory(dir / "other");
    const std::string other = dir / "other/song.mp3";
    MakeTaggedFile(other, audio, "Old");
    std::filesystem::create_symlink(dir / "victim", dir / "other/song.mp~");
    for (const std::string& file : {path, other}) {
        ID3v2Tag tag;
        ASSERT_TRUE(tag.ReadTag(file));
        tag.SetTitle(std::string(2000, 'x'));
        ASSERT_TRUE(tag.WriteTag(file, false));
        EXPECT_EQ(ReadFile(file).substr(tag.Size() + 10), audio);
    }
    EXPECT_EQ(ReadFile(dir / "song.mp~"), "a user's backup");
    EXPECT_EQ(ReadFile(dir / "victim"), "victim");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "other/song.mp~"));
}

TEST(ID3v2Write, ThroughASymbolicLinkTheLinkStays) {
    TempDir dir;
    const std::string real = dir / "real.mp3";
    const std::string audio = Audio(4000);
    MakeTaggedFile(real, audio, "Old");
    std::filesystem::create_symlink(real, dir / "link.mp3");
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(dir / "link.mp3"));
    tag.SetTitle(std::string(1500, 'x'));
    ASSERT_TRUE(tag.WriteTag(dir / "link.mp3", false));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.mp3"));
    EXPECT_EQ(ReadFile(real).substr(tag.Size() + 10), audio);
    EXPECT_FALSE(std::filesystem::exists(dir / "real.mp~"));
}

TEST(ID3v2Write, FlagsThatAreNotWrittenAreCleared) {
    TempDir dir;
    const std::string path = dir / "flags.mp3";
    std::string ext4 = SyncSafe(6) + std::string("\x01\x00", 2);
    const std::string audio = Audio(100);
    WriteFile(path, Tag(4, Frame34(4, "TIT2", Latin1("t")), 200, 0xC0, ext4) + audio);
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(path));
    EXPECT_TRUE(tag.Unsynchronised());
    EXPECT_TRUE(tag.HasExtendedHeader());
    tag.SetTitle("u");
    ASSERT_TRUE(tag.WriteTag(path, false));
    const std::string after = ReadFile(path);
    EXPECT_EQ(after[5], 0);
    ID3v2Tag back;
    ASSERT_TRUE(back.ReadTag(path));
    EXPECT_EQ(back.GetTitle(), "u");
    EXPECT_EQ(after.substr(after.size() - audio.size()), audio);
}

TEST(ID3v1, RecordFields) {
    std::string rec = "TAG" + std::string("Title\0", 6) + std::string(24, 'z') +
                      std::string("Artist      ") + std::string(18, ' ') + std::string(30, '\0') +
                      "1999" + std::string("Caf\xE9", 4) + std::string(26, '\0') + "\x11";
    ASSERT_EQ(rec.size(), 128u);
    ID3v1Record v1;
    ASSERT_TRUE(v1.Parse(rec));
    EXPECT_EQ(v1.title, "Title");
    EXPECT_EQ(v1.artist, "Artist");
    EXPECT_EQ(v1.year, "1999");
    EXPECT_EQ(v1.comment, "Caf\xC3\xA9");
    EXPECT_EQ(v1.genre, 0x11);
    EXPECT_FALSE(v1.Parse(rec.substr(1)));
    rec[0] = 'X';
    EXPECT_FALSE(v1.Parse(rec));
}

TEST(ID3v2Read, RegressionFilesFromTheData) {
    const char* root = std::getenv("LYB_TEST_DATA");
    ASSERT_NE(root, nullptr);
    const std::string tags = std::string(root) + "/library/tags/";
    ID3v2Tag v22;
    ASSERT_TRUE(v22.ReadTag(tags + "v22.bin"));
    EXPECT_EQ(v22.GetTitle(), "Title");
    EXPECT_EQ(v22.GetArtist(), "Artist");
    EXPECT_EQ(v22.GetLength(), 215u);
    ID3v2Tag ext;
    ASSERT_TRUE(ext.ReadTag(tags + "v23-extended.bin"));
    EXPECT_EQ(ext.GetTitle(), "AB");
    ID3v2Tag past;
    ASSERT_TRUE(past.ReadTag(tags + "frame-past-end.bin"));
    EXPECT_EQ(past.GetTitle(), "kept");
    EXPECT_EQ(past.Frames().size(), 1u);
    ID3v2Tag huge;
    EXPECT_FALSE(huge.ReadTag(tags + "huge-size.bin"));
    ID3v2Tag v24;
    ASSERT_TRUE(v24.ReadTag(tags + "ffmpeg-v24.bin"));
    EXPECT_EQ(v24.GetTitle(), "T\xC3\xAFtle");
    EXPECT_EQ(v24.GetLength(), 215u);
}

TEST(ID3v2Read, InfoModeSkipsLargeFramesAndCannotBeWritten) {
    TempDir dir;
    const std::string path = dir / "cover.mp3";
    const std::string picture(3 << 20, '\x55'); // beyond the 1 MiB read in one go
    const std::string bytes =
        Tag(4, Frame34(4, "TIT2", Latin1("Title")) + Frame34(4, "APIC", picture) +
                   Frame34(4, "TPE1", Latin1("Artist"))) +
        Audio(1000);
    WriteFile(path, bytes);
    ID3v2Tag info;
    ASSERT_TRUE(info.ReadTag(path, ID3v2Tag::ReadMode::Info));
    EXPECT_TRUE(info.Partial());
    ASSERT_EQ(info.Frames().size(), 3u);
    EXPECT_TRUE(info.Frames()[1].data.empty());
    EXPECT_EQ(info.GetTitle(), "Title");
    EXPECT_EQ(info.GetArtist(), "Artist");
    info.SetTitle("x");
    EXPECT_FALSE(info.RenderTag());
    EXPECT_FALSE(info.WriteTag(path, false));
    EXPECT_EQ(ReadFile(path), bytes);

    ID3v2Tag full;
    ASSERT_TRUE(full.ReadTag(path));
    EXPECT_FALSE(full.Partial());
    EXPECT_EQ(full.Frames()[1].data, picture);
    full.SetTitle("New");
    ASSERT_TRUE(full.WriteTag(path, false)); // in place: the picture stays
    ID3v2Tag back;
    ASSERT_TRUE(back.ReadTag(path));
    EXPECT_EQ(back.GetTitle(), "New");
    EXPECT_EQ(back.Frames()[1].data, picture);
    EXPECT_EQ(ReadFile(path).size(), bytes.size());
}

// --- Faults found in tags other programs write (files under tests/data) ----

namespace {

std::string DataTag(const std::string& name) {
    const char* root = std::getenv("LYB_TEST_DATA");
    return root ? ReadFile(std::string(root) + "/library/tags/" + name) : std::string();
}

std::string BeUtf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back('\0');
        out.push_back(c);
    }
    return out;
}

size_t CountFrames(const ID3v2Tag& tag, const std::string& id) {
    size_t n = 0;
    for (const auto& f : tag.Frames())
        n += f.id == id;
    return n;
}

const ID3v2Tag::Frame* FrameOf(const ID3v2Tag& tag, const std::string& id) {
    for (const auto& f : tag.Frames())
        if (f.id == id)
            return &f;
    return nullptr;
}

} // namespace

// A version-4 tag with the footer flag but no footer: a rebuild skipped the
// first ten bytes of audio as if they were the footer.
TEST(ID3v2Faults, AFooterFlagWithoutAFooterLosesNoAudio) {
    const std::string bytes = DataTag("footer-flag-without-footer.bin");
    ASSERT_FALSE(bytes.empty());
    TempDir dir;
    const std::string path = dir / "footer.mp3";
    WriteFile(path, bytes);
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(path));
    EXPECT_FALSE(tag.HasFooter());
    const std::string audio = bytes.substr(tag.TotalSize());
    ASSERT_EQ(static_cast<uint8_t>(audio[0]), 0xFF); // the MPEG frame header
    tag.SetTitle(std::string(600, 'x'));
    ASSERT_TRUE(tag.WriteTag(path, false));
    EXPECT_EQ(ReadFile(path).substr(tag.Size() + 10), audio);

    // A real footer is believed, and dropped with the rewrite.
    const std::string head = bytes.substr(0, 10);
    const std::string body = bytes.substr(10, tag.TotalSize() - 10);
    ID3v2Tag old;
    ASSERT_TRUE(old.ReadTagFromBytes(bytes));
    const std::string withFooter =
        bytes.substr(0, old.TotalSize()) + "3DI" + head.substr(3) + audio;
    WriteFile(path, withFooter);
    ID3v2Tag real;
    ASSERT_TRUE(real.ReadTag(path));
    EXPECT_TRUE(real.HasFooter());
    EXPECT_EQ(real.TotalSize(), old.TotalSize() + 10);
    real.SetTitle(std::string(600, 'y'));
    ASSERT_TRUE(real.WriteTag(path, false));
    EXPECT_EQ(ReadFile(path).substr(real.Size() + 10), audio);
    EXPECT_EQ(ReadFile(path)[5] & 0x10, 0);
}

// URL frames hold the bare URL; they were read and written as text frames,
// so editing a title turned a URL another tool wrote into garbage.
TEST(ID3v2Faults, UrlFramesHoldTheBareUrl) {
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTagFromBytes(DataTag("url-frame-without-encoding.bin")));
    EXPECT_EQ(tag.GetURL(), "http://shop.example/track?id=7");
    const std::string before = FrameOf(tag, "WCOM")->data;
    tag.SetTitle("New title");
    tag.SetURL(tag.GetURL());
    EXPECT_EQ(FrameOf(tag, "WCOM")->data, before);
    tag.SetURL("http://shop.example/caf\xC3\xA9 x");
    EXPECT_EQ(FrameOf(tag, "WCOM")->data, "http://shop.example/caf%C3%A9%20x");
    EXPECT_EQ(tag.GetURL(), "http://shop.example/caf%C3%A9%20x");
    // Older versions of this program laid the URL out like a text frame.
    ID3v2Tag legacy;
    ASSERT_TRUE(legacy.ReadTagFromBytes(
        Tag(4, Frame34(4, "WCOM", std::string("\x01\xFE\xFF", 3) + BeUtf16("http://old")))));
    EXPECT_EQ(legacy.GetURL(), "http://old");
}

// Unsynchronisation was not undone: the frames of such a tag were read
// with stray zero bytes (2.4) or out of step (2.3), and written back so.
TEST(ID3v2Faults, UnsynchronisationIsUndoneAndNeverWritten) {
    TempDir dir;
    for (const char* name : {"unsync-v23.bin", "unsync-v24-frames.bin"}) {
        SCOPED_TRACE(name);
        const std::string bytes = DataTag(name);
        ASSERT_FALSE(bytes.empty());
        const std::string title =
            std::string(name) == "unsync-v23.bin" ? "Caf\xC3\xBF\xC3\xA9 \xC3\xBF" : "Caf\xC3\xBF\xC3\xA9";
        ID3v2Tag tag;
        ASSERT_TRUE(tag.ReadTagFromBytes(bytes));
        EXPECT_EQ(tag.GetTitle(), title);
        EXPECT_EQ(tag.GetArtist(), "After");
        const std::string audio = bytes.substr(tag.TotalSize());
        const std::string path = dir / "u.mp3";
        WriteFile(path, bytes);
        ID3v2Tag edit;
        ASSERT_TRUE(edit.ReadTag(path));
        edit.SetArtist("Edited");
        ASSERT_TRUE(edit.WriteTag(path, false));
        const std::string after = ReadFile(path);
        EXPECT_EQ(after[5] & 0x80, 0);
        EXPECT_EQ(after.substr(after.size() - audio.size()), audio);
        ID3v2Tag back;
        ASSERT_TRUE(back.ReadTag(path));
        EXPECT_EQ(back.GetTitle(), title);
        EXPECT_EQ(back.GetArtist(), "Edited");
        for (const auto& f : back.Frames())
            EXPECT_EQ(f.flags & 0x0003, 0) << f.id;
    }
}

// Version-4 tags with plain-integer frame sizes (a known writer's bug):
// frames of 128 bytes or more were misread and cut on the next rewrite.
TEST(ID3v2Faults, Version4TagsWithPlainIntegerFrameSizes) {
    const std::string bytes = DataTag("v24-plain-integer-sizes.bin");
    ASSERT_FALSE(bytes.empty());
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTagFromBytes(bytes));
    EXPECT_EQ(tag.GetTitle(), std::string(199, 'x'));
    EXPECT_EQ(tag.GetArtist(), std::string(255, 'y')); // the getter keeps 255 characters
    EXPECT_EQ(tag.GetLength(), 215u);
    TempDir dir;
    const std::string path = dir / "plain.mp3";
    WriteFile(path, bytes);
    ID3v2Tag edit;
    ASSERT_TRUE(edit.ReadTag(path));
    edit.SetTitle("t");
    ASSERT_TRUE(edit.WriteTag(path, false));
    ID3v2Tag back;
    ASSERT_TRUE(back.ReadTag(path));
    EXPECT_EQ(back.GetTitle(), "t");
    ASSERT_NE(FrameOf(back, "TPE1"), nullptr);
    EXPECT_EQ(FrameOf(back, "TPE1")->data, std::string(1, '\0') + std::string(300, 'y'));
    EXPECT_EQ(back.GetLength(), 215u);
    // Sync-safe sizes that happen to read as plain integers too stay sync-safe.
    ID3v2Tag syncSafe;
    ASSERT_TRUE(syncSafe.ReadTagFromBytes(Tag(4, Frame34(4, "TIT2", Latin1(std::string(300, 'z'))) +
                                                      Frame34(4, "TPE1", Latin1("A")))));
    EXPECT_EQ(syncSafe.GetTitle().size(), 255u);
    EXPECT_EQ(syncSafe.GetArtist(), "A");
}

// With two title frames the last was read but the first was edited, so an
// edit never showed.
TEST(ID3v2Faults, WithDuplicateFramesTheFrameReadIsTheFrameEdited) {
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTagFromBytes(DataTag("duplicate-title-frames.bin")));
    EXPECT_EQ(tag.GetTitle(), "Second");
    EXPECT_EQ(CountFrames(tag, "TIT2"), 2u);
    tag.SetTitle("Edited");
    EXPECT_EQ(tag.GetTitle(), "Edited");
    EXPECT_EQ(CountFrames(tag, "TIT2"), 1u);
    tag.SetArtist("");
    EXPECT_EQ(CountFrames(tag, "TPE1"), 0u);
    ASSERT_TRUE(tag.ReadTagFromBytes(Tag(4, Frame34(4, "TPE1", Latin1("a")) + Frame34(4, "TPE1", Latin1("b")))));
    tag.RemoveFrame("TPE1");
    EXPECT_EQ(tag.GetArtist(), "");
}
