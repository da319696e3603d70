// Tags between this program and the tools people tag their music with
// (mutagen, eyeD3, kid3-cli, id3v2, lame, ffmpeg): we read what they wrote,
// they read what we wrote, and the audio stays byte for byte the same
// (ffmpeg's MD5 of the audio packets, and our own comparison).
//
// Each test runs a handful of tool processes (about a second or two).
#include "library/id3v2_tag.h"
#include "library/media_info.h"
#include "platform/prompt.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cctype>
#include <vector>

using namespace lyb;
using namespace lyb::test;

namespace {

// What we write over every tool's tag.
constexpr const char* kTitle = "Neu \xE2\x80\x93 T\xC3\xAFtel \xCE\xA9";
constexpr const char* kArtist = "B\xC3\xA4nd";
constexpr const char* kUrl = "http://lyb.example/neu?x=1";

// The file without its ID3v2 tags in front (one after another, as a forced
// write leaves them) and without an ID3v1 record at the end; `tags` counts
// the tags in front.
std::string AudioPart(const std::string& bytes, int* tags = nullptr) {
    size_t pos = 0;
    if (tags)
        *tags = 0;
    while (bytes.size() - pos >= 10 && bytes.compare(pos, 3, "ID3") == 0) {
        const auto* h = reinterpret_cast<const uint8_t*>(bytes.data() + pos);
        const size_t size = (size_t(h[6] & 0x7F) << 21) | (size_t(h[7] & 0x7F) << 14) |
                            (size_t(h[8] & 0x7F) << 7) | size_t(h[9] & 0x7F);
        size_t total = 10 + size;
        if ((h[5] & 0x10) && bytes.size() - pos >= total + 3 &&
            bytes.compare(pos + total, 3, "3DI") == 0)
            total += 10;
        pos += total;
        if (tags)
            ++*tags;
    }
    size_t end = bytes.size();
    if (end - pos >= 128 && bytes.compare(end - 128, 3, "TAG") == 0)
        end -= 128;
    return bytes.substr(pos, end - pos);
}

// ffmpeg's MD5 of the audio packets it finds: a check that knows nothing of
// our tag code.
std::string FfmpegAudioMd5(const std::string& path) {
    return Capture("ffmpeg -nostdin -loglevel error -i " + Quote(path) +
                   " -map 0:a -c:a copy -f md5 - 2>/dev/null");
}

class TagInterop : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        // A real MP3 stream without any tag, from lame.
        s_ok = HaveTool("ffmpeg") && HaveTool("lame") &&
               test::Run("ffmpeg -nostdin -loglevel error -f lavfi -i sine=frequency=440:duration=1 "
                   "-f wav - | lame --quiet -b 64 - " +
                   Quote(*s_dir / "plain.mp3"));
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_ok)
            GTEST_SKIP() << "ffmpeg and lame are needed (scripts/install-deps.sh installs them)";
    }
    static void NeedTool(const char* tool) {
        if (!HaveTool(tool))
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    }
    std::string Plain(const std::string& name) {
        const std::string path = dir / name;
        std::filesystem::copy_file(*s_dir / "plain.mp3", path);
        return path;
    }

    // Reads the file as the Studio does, checks what the writer said, then
    // writes our texts as the Studio's edit does and checks that every
    // reader at hand sees them and that no audio byte changed.
    // `everyReader`: also eyeD3 and kid3-cli (slow to start); mutagen,
    // ffprobe and ffmpeg always read.
    // `album`: the writer's album, which must stay where readers find it.
    void ReadEditAndCheck(const std::string& path, const std::string& title,
                          const std::string& artist, const std::string& url = {},
                          bool everyReader = true, const std::string& album = {}) {
        MusicItem record;
        ASSERT_EQ(GetMediaInfo(path, record, context), 0);
        EXPECT_EQ(record.title, title);
        EXPECT_EQ(record.artist, artist);
        if (!url.empty()) {
            EXPECT_EQ(record.url, url);
        }
        const std::string audio = AudioPart(ReadFile(path));
        const std::string md5 = FfmpegAudioMd5(path);
        ASSERT_NE(md5.find("MD5="), std::string::npos) << md5;

        record.title = kTitle;
        record.artist = kArtist;
        record.url = kUrl;
        record.length = 61;
        ScriptedPrompt prompt; // a file without a tag: "Create it?" is answered OK
        LibraryContext ctx = context;
        ctx.prompt = &prompt;
        ASSERT_EQ(WriteMediaInfo(path, record, ctx), 0);

        EXPECT_EQ(FfmpegAudioMd5(path), md5);
        int tags = 0;
        EXPECT_EQ(AudioPart(ReadFile(path), &tags), audio);
        EXPECT_EQ(tags, 1) << "the edited tag replaces the writer's tag";
        MusicItem back;
        ASSERT_EQ(GetMediaInfo(path, back, context), 0);
        EXPECT_EQ(back.title, kTitle);
        EXPECT_EQ(back.url, kUrl);

        if (HaveTool("mid3v2")) {
            const std::string m = Capture("mid3v2 -l " + Quote(path));
            EXPECT_NE(m.find(std::string("TIT2=") + kTitle + "\n"), std::string::npos) << m;
            EXPECT_NE(m.find(std::string("TPE1=") + kArtist + "\n"), std::string::npos) << m;
            EXPECT_NE(m.find(std::string("WCOM=") + kUrl + "\n"), std::string::npos) << m;
            EXPECT_NE(m.find("TLEN=61000\n"), std::string::npos) << m;
            if (!album.empty()) {
                EXPECT_NE(m.find("TALB=" + album + "\n"), std::string::npos) << m;
            }
        }
        if (everyReader && HaveTool("eyeD3")) {
            const std::string e = Capture("eyeD3 --no-color " + Quote(path) + " 2>/dev/null");
            EXPECT_NE(e.find(std::string("title: ") + kTitle), std::string::npos) << e;
            EXPECT_NE(e.find(std::string("artist: ") + kArtist), std::string::npos) << e;
            EXPECT_NE(e.find(std::string("Commercial URL: ") + kUrl), std::string::npos) << e;
            if (!album.empty()) {
                EXPECT_NE(e.find("album: " + album), std::string::npos) << e;
            }
        }
        if (everyReader && HaveTool("kid3-cli")) {
            EXPECT_EQ(Capture("kid3-cli -c 'get title' -c 'get artist' " + Quote(path)),
                      std::string(kTitle) + "\n" + kArtist + "\n");
        }
        const std::string f = Capture("ffprobe -v error -show_entries format_tags=title,artist "
                                      "-of default=nw=1 " +
                                      Quote(path));
        EXPECT_NE(f.find(std::string("TAG:title=") + kTitle), std::string::npos) << f;
        EXPECT_NE(f.find(std::string("TAG:artist=") + kArtist), std::string::npos) << f;
    }

    static TempDir* s_dir;
    static bool s_ok;
    TempDir dir;
    LibraryContext context;
};

TempDir* TagInterop::s_dir = nullptr;
bool TagInterop::s_ok = false;

const char* const kTheirTitle = "Wr\xC3\xAFter T\xC3\xADtle";
const char* const kTheirArtist = "\xC3\x84rtist";
const char* const kTheirAlbum = "Th\xC3\xA9ir Album";

} // namespace

TEST_F(TagInterop, Mutagen) {
    NeedTool("mid3v2");
    const std::string path = Plain("mutagen.mp3");
    ASSERT_TRUE(test::Run("mid3v2 -t " + Quote(kTheirTitle) + " -a " + Quote(kTheirArtist) +
                    " --WCOM http://their.example/u --TLEN 1000 " + Quote(path)));
    ReadEditAndCheck(path, kTheirTitle, kTheirArtist, "http://their.example/u");
}

TEST_F(TagInterop, EyeD3) {
    NeedTool("eyeD3");
    for (const char* version : {"--to-v2.4", "--to-v2.3"}) {
        SCOPED_TRACE(version);
        const std::string path = Plain(std::string("eyed3") + version + ".mp3");
        ASSERT_TRUE(test::Run("eyeD3 --no-color -Q " + std::string(version) + " -t " + Quote(kTheirTitle) +
                        " -a " + Quote(kTheirArtist) + " -A " + Quote(kTheirAlbum) +
                        " --url-frame WCOM:http://their.example/e " + Quote(path)));
        ReadEditAndCheck(path, kTheirTitle, kTheirArtist, "http://their.example/e", true, kTheirAlbum);
    }
}

TEST_F(TagInterop, Kid3) {
    NeedTool("kid3-cli");
    const std::string path = Plain("kid3.mp3");
    ASSERT_TRUE(test::Run("kid3-cli -c " + Quote(std::string("set title '") + kTheirTitle + "'") + " -c " +
                    Quote(std::string("set artist '") + kTheirArtist + "'") + " -c " +
                    Quote(std::string("set album '") + kTheirAlbum + "'") + " " + Quote(path)));
    ReadEditAndCheck(path, kTheirTitle, kTheirArtist, {}, true, kTheirAlbum);
}

TEST_F(TagInterop, Id3v2) {
    NeedTool("id3v2");
    const std::string path = Plain("id3v2.mp3");
    // id3v2 writes version 2.3 in ISO-8859-1 and an ID3v1 record beside it.
    ASSERT_TRUE(test::Run("id3v2 -t " + Quote(kTheirTitle) + " -a " + Quote(kTheirArtist) + " -A Plain " +
                          Quote(path)));
    ReadEditAndCheck(path, kTheirTitle, kTheirArtist, {}, true, "Plain");
}

TEST_F(TagInterop, Lame) {
    const std::string path = dir / "lame.mp3";
    ASSERT_TRUE(test::Run("ffmpeg -nostdin -loglevel error -f lavfi -i sine=duration=1 -f wav - | lame --quiet "
                    "-b 64 --id3v2-only --tt " +
                    Quote(kTheirTitle) + " --ta " + Quote(kTheirArtist) + " - " + Quote(path)));
    ReadEditAndCheck(path, kTheirTitle, kTheirArtist);
}

TEST_F(TagInterop, Ffmpeg) {
    for (int version : {4, 3}) {
        SCOPED_TRACE(version);
        const std::string path = dir / ("ffmpeg" + std::to_string(version) + ".mp3");
        ASSERT_TRUE(MakeMp3(path, "-id3v2_version " + std::to_string(version) + " -metadata title=" +
                                      Quote(kTheirTitle) + " -metadata artist=" + Quote(kTheirArtist)));
        ReadEditAndCheck(path, kTheirTitle, kTheirArtist);
    }
}

TEST_F(TagInterop, NoTagAtAll) {
    ReadEditAndCheck(Plain("none.mp3"), "", "");
}

// The hostile tags of tests/data in front of real audio: edited by us, read
// by the tools, the audio unchanged.
struct HostileCase {
    const char* file;
    const char* title;  ///< null: 199 'x'
    const char* artist; ///< null: 255 'y'
};

class HostileTagInterop : public TagInterop, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileTagInterop, EditedAndReadBack) {
    const char* root = std::getenv("LYB_TEST_DATA");
    ASSERT_NE(root, nullptr);
    const HostileCase& c = GetParam();
    const std::string bytes = ReadFile(std::string(root) + "/library/tags/" + c.file);
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTagFromBytes(bytes));
    const std::string path = dir / (std::string(c.file) + ".mp3");
    WriteFile(path, bytes.substr(0, tag.TotalSize()) + ReadFile(*s_dir / "plain.mp3"));
    ReadEditAndCheck(path, c.title ? c.title : std::string(199, 'x'),
                     c.artist ? c.artist : std::string(255, 'y'), {}, false);
}

INSTANTIATE_TEST_SUITE_P(
    Data, HostileTagInterop,
    ::testing::Values(HostileCase{"footer-flag-without-footer.bin", "Footer", "Artist"},
                      HostileCase{"url-frame-without-encoding.bin", "Url", ""},
                      HostileCase{"unsync-v23.bin", "Caf\xC3\xBF\xC3\xA9 \xC3\xBF", "After"},
                      HostileCase{"unsync-v24-frames.bin", "Caf\xC3\xBF\xC3\xA9", "After"},
                      HostileCase{"v24-plain-integer-sizes.bin", nullptr, nullptr},
                      HostileCase{"duplicate-title-frames.bin", "Second", "Artist"}),
    [](const ::testing::TestParamInfo<HostileCase>& param) {
        std::string name;
        for (const char* p = param.param.file; *p && *p != '.'; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });
