// Media information of real MP3 and AAC files (made by ffmpeg at run time),
// writing it back, interoperability with ffprobe, and the length probes.
#include "library/id3v2_tag.h"
#include "library/media_info.h"
#include "platform/message_target.h"
#include "platform/prompt.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lyb;
using namespace lyb::test;

namespace {

class MediaInfo : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is needed to make test files";
    }
    TempDir dir;
    LibraryContext context;
};

std::string FfprobeTags(const std::string& path) {
    return Capture("ffprobe -v error -show_entries format_tags -of default=nw=1 " + Quote(path));
}

} // namespace

TEST_F(MediaInfo, ReadsTagsWrittenByFfmpeg) {
    const std::string v4 = dir / "v4.mp3";
    ASSERT_TRUE(MakeMp3(v4, "-id3v2_version 4 -metadata title='T\xC3\xAFtle' -metadata artist=Four "
                            "-metadata TLEN=215000 -metadata publisher=x"));
    MusicItem a;
    ASSERT_EQ(GetMediaInfo(v4, a, context), 0);
    EXPECT_EQ(a.title, "T\xC3\xAFtle");
    EXPECT_EQ(a.artist, "Four");
    EXPECT_EQ(a.length, 215u);
    EXPECT_EQ(a.type, uint32_t(kItemMp3));
    EXPECT_EQ(a.flags & (kTitleKnown | kArtistKnown | kInfoRead),
              kTitleKnown | kArtistKnown | kInfoRead);
    EXPECT_EQ(a.flags & kMpegHeader, 0u); // the file starts with the tag
    EXPECT_EQ(a.size, std::filesystem::file_size(v4));
    EXPECT_EQ(a.sampleRate, 44100u);
    EXPECT_EQ(a.bitrate, 64000u);
    EXPECT_EQ(a.channels, 2u);

    // Version 2.3 with UTF-16 text long enough that its frame size needs
    // more than seven bits: read as a plain 32-bit integer.
    const std::string longTitle(120, 'Q');
    const std::string v3 = dir / "v3.mp3";
    ASSERT_TRUE(MakeMp3(v3, "-id3v2_version 3 -metadata title=" + longTitle +
                                " -metadata artist='Caf\xC3\xA9'"));
    MusicItem b;
    ASSERT_EQ(GetMediaInfo(v3, b, context), 0);
    EXPECT_EQ(b.title, longTitle);
    EXPECT_EQ(b.artist, "Caf\xC3\xA9");
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(v3));
    EXPECT_EQ(tag.MajorVersion(), 3);
}

TEST_F(MediaInfo, FrameHeaderFlagsChannelsAndId3v1) {
    const std::string mono = dir / "mono.MP3"; // any letter case of the ending
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame is needed for a file with only an ID3v1 tag";
    ASSERT_TRUE(
        lyb::test::Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=duration=1 -ac 1 " +
                       Quote(dir / "s.wav")));
    ASSERT_TRUE(lyb::test::Run("lame --quiet -m m --id3v1-only --tt OldTitle --ta OldArtist " +
                               Quote(dir / "s.wav") + " " + Quote(mono)));
    MusicItem m;
    ASSERT_EQ(GetMediaInfo(mono, m, context), 0);
    EXPECT_EQ(m.flags & kMpegHeader, uint32_t(kMpegHeader));
    EXPECT_EQ(m.channels, 1u);
    EXPECT_EQ(m.title, "OldTitle");
    EXPECT_EQ(m.artist, "OldArtist");
    EXPECT_EQ(m.flags & kInfoRead, 0u);

    // Both tags: the ID3v2 values win, even an artist the tag does not name.
    const std::string both = dir / "both.mp3";
    ASSERT_TRUE(MakeMp3(both, "-id3v2_version 4 -write_id3v1 1 -metadata title=V2Title"));
    ID3v1Record v1;
    ASSERT_TRUE(v1.Read(both));
    MusicItem b;
    ASSERT_EQ(GetMediaInfo(both, b, context), 0);
    EXPECT_EQ(b.title, "V2Title");
    EXPECT_EQ(b.artist, "");
}

TEST_F(MediaInfo, EndingsAndMissingFiles) {
    MusicItem r;
    EXPECT_EQ(GetMediaInfo(dir / "missing.mp3", r, context), -1);
    EXPECT_EQ(r.path, dir / "missing.mp3");
    WriteFile(dir / "song.lse", "data");
    WriteFile(dir / "song.wav", "data");
    MusicItem s;
    EXPECT_EQ(GetMediaInfo(dir / "song.lse", s, context), -1);
    EXPECT_EQ(GetMediaInfo(dir / "song.wav", s, context), -1);
    std::filesystem::create_directory(dir / "folder.mp3");
    EXPECT_EQ(GetMediaInfo(dir / "folder.mp3", s, context), -1);
    // Anything with a supported ending is described, even without audio.
    WriteFile(dir / "junk.mp3", "not audio at all");
    MusicItem j;
    EXPECT_EQ(GetMediaInfo(dir / "junk.mp3", j, context), 0);
    EXPECT_EQ(j.size, 16u);
}

TEST_F(MediaInfo, AacAndTheLengthQuerySwitch) {
    const std::string aac = dir / "a.aac";
    ASSERT_TRUE(MakeAac(aac));
    FakeEngine engine;
    engine.aacMilliseconds[aac] = 61999.0;
    context.engine = &engine;
    MusicItem a;
    ASSERT_EQ(GetMediaInfo(aac, a, context), 0);
    EXPECT_EQ(a.type, uint32_t(kItemAac));
    EXPECT_EQ(a.length, 61u);
    EXPECT_EQ(a.sampleRate, 44100u);
    EXPECT_EQ(a.channels, 1u);
    EXPECT_EQ(a.flags & (kTitleKnown | kArtistKnown | kInfoRead),
              kTitleKnown | kArtistKnown | kInfoRead);

    const std::string mp3 = dir / "b.mp3";
    ASSERT_TRUE(MakeMp3(mp3, "-id3v2_version 4 -metadata TLEN=5000"));
    engine.mp3Seconds[mp3] = 7.9;
    MusicItem on;
    ASSERT_EQ(GetMediaInfo(mp3, on, context), 0);
    EXPECT_EQ(on.length, 7u); // the engine replaces the tag's length
    engine.SetLengthQueriesEnabled(false);
    const int calls = engine.calls;
    MusicItem off;
    ASSERT_EQ(GetMediaInfo(mp3, off, context), 0);
    EXPECT_EQ(off.length, 5u);
    EXPECT_EQ(engine.calls, calls);
}

TEST_F(MediaInfo, WriteIntoAnUntaggedFileAsksFirst) {
    const std::string path = dir / "bare.mp3";
    ASSERT_TRUE(MakeMp3(path));
    const std::string before = ReadFile(path);
    ScriptedPrompt prompt;
    context.prompt = &prompt;
    MusicItem record;
    record.title = "Title";
    record.artist = "Artist";
    record.length = 215;
    record.url = "http://shop";

    prompt.Push(PromptAnswer::Cancel);
    EXPECT_EQ(SetMediaInfo(path, record, context), -1);
    EXPECT_EQ(ReadFile(path), before);
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text, "This file doesn't contain media info. Create it?");
    EXPECT_EQ(prompt.asked()[0].caption, "Lyrabox");
    EXPECT_EQ(prompt.asked()[0].buttons, PromptButtons::OkCancel);

    prompt.Push(PromptAnswer::Ok);
    EXPECT_EQ(SetMediaInfo(path, record, context), 0);
    const std::string after = ReadFile(path);
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(path));
    EXPECT_EQ(tag.MajorVersion(), 4);
    EXPECT_GE(tag.Size(), 1024u);
    EXPECT_EQ(after.substr(tag.Size() + 10), before);
    EXPECT_EQ(tag.GetTitle(), "Title");
    EXPECT_EQ(tag.Frames()[0].data.substr(tag.Frames()[0].data.size() - 2), std::string(2, '\0'));
    EXPECT_EQ(tag.GetArtist(), "Artist");
    EXPECT_EQ(tag.GetLength(), 215u);
    EXPECT_EQ(tag.GetURL(), "http://shop");

    if (HaveTool("ffprobe")) {
        const std::string tags = FfprobeTags(path);
        EXPECT_NE(tags.find("title=Title"), std::string::npos) << tags;
        EXPECT_NE(tags.find("artist=Artist"), std::string::npos) << tags;
        EXPECT_NE(tags.find("TLEN=215000"), std::string::npos) << tags;
    }
}

TEST_F(MediaInfo, WriteKeepsEveryFrameOfEachVersionAndOneTagInFront) {
    const std::string v4 = dir / "v4.mp3";
    ASSERT_TRUE(MakeMp3(v4, "-id3v2_version 4 -metadata title=Old -metadata artist=Old "
                            "-metadata album=Keep"));
    ID3v2Tag old4;
    ASSERT_TRUE(old4.ReadTag(v4));
    const std::string before4 = ReadFile(v4);
    MusicItem r;
    r.title = "New \xC3\xA9";
    r.artist = "";
    r.length = 3;
    ASSERT_EQ(WriteMediaInfo(v4, r, context), 0);
    const std::string after4 = ReadFile(v4);
    ID3v2Tag new4;
    ASSERT_TRUE(new4.ReadTag(v4));
    EXPECT_EQ(new4.GetTitle(), "New \xC3\xA9");
    EXPECT_EQ(new4.GetArtist(), "");
    EXPECT_EQ(new4.GetTextFrame("TALB"), "Keep"); // other frames stay
    if (new4.Size() == old4.Size()) {
        EXPECT_EQ(after4.size(), before4.size());
        EXPECT_EQ(after4.substr(new4.Size() + 10), before4.substr(old4.Size() + 10));
    } else {
        EXPECT_EQ(after4.substr(new4.Size() + 10), before4.substr(old4.Size() + 10));
    }

    const std::string v3 = dir / "v3.mp3";
    ASSERT_TRUE(MakeMp3(v3, "-id3v2_version 3 -metadata title=Three -metadata album=Kept "
                            "-metadata comment=Remark"));
    const std::string before3 = ReadFile(v3);
    ID3v2Tag old3;
    ASSERT_TRUE(old3.ReadTag(v3));
    MusicItem s;
    s.title = "\xC3\x89"
              "dit\xC3\xA9";
    s.artist = "Band";
    s.length = 0xFFFFFFFF;
    ASSERT_EQ(WriteMediaInfo(v3, s, context), 0);
    const std::string after3 = ReadFile(v3);
    ID3v2Tag t;
    ASSERT_TRUE(t.ReadTag(v3));
    // The 2.3 tag is edited as 2.3 and replaces itself: its album and
    // comment stay visible to every reader, and the audio follows at once.
    EXPECT_EQ(t.MajorVersion(), 3);
    EXPECT_EQ(t.GetTextFrame("TALB"), "Kept");
    EXPECT_EQ(after3.substr(t.Size() + 10), before3.substr(old3.Size() + 10));
    MusicItem back;
    ASSERT_EQ(GetMediaInfo(v3, back, context), 0);
    EXPECT_EQ(back.title, "\xC3\x89"
                          "dit\xC3\xA9");
    EXPECT_EQ(back.length, 0xFFFFFFFFu);
    if (HaveTool("ffprobe")) {
        const std::string tags = FfprobeTags(v3);
        EXPECT_NE(tags.find("title=\xC3\x89"
                            "dit\xC3\xA9"),
                  std::string::npos)
            << tags;
        EXPECT_NE(tags.find("artist=Band"), std::string::npos) << tags;
        EXPECT_NE(tags.find("album=Kept"), std::string::npos) << tags;
    }
    if (HaveTool("mid3v2")) {
        const std::string m = Capture("mid3v2 -l " + Quote(v3));
        EXPECT_NE(m.find("TALB=Kept\n"), std::string::npos) << m;
        EXPECT_NE(m.find("TPE1=Band\n"), std::string::npos) << m;
        EXPECT_NE(m.find("Remark"), std::string::npos) << m;
    }
}

TEST_F(MediaInfo, Version22IsEditedAsItselfAndATagNotReadWholeStaysBehindTheNewOne) {
    auto be = [](uint32_t v, int n) {
        std::string out;
        for (int i = n - 1; i >= 0; --i)
            out.push_back(char((v >> (8 * i)) & 0xFF));
        return out;
    };
    auto header = [](int version, uint32_t size) {
        std::string h = std::string("ID3") + char(version) + std::string(2, '\0');
        for (int i = 3; i >= 0; --i)
            h.push_back(char((size >> (7 * i)) & 0x7F));
        return h;
    };
    using namespace std::string_literals;
    const std::string audio = "\xFF\xFB\x90\x64"s + std::string(3000, 'U');
    const std::string talb = "\0Album 22"s;

    // Version 2.2 (three-letter frames): title, artist and length become
    // TT2/TP1/TLE; TAL stays.
    const std::string v2 = dir / "v22.mp3";
    const std::string frames22 = "TT2" + be(7, 3) + "\0Old 22"s + "TAL" + be(uint32_t(talb.size()), 3) + talb;
    WriteFile(v2, header(2, uint32_t(frames22.size() + 20)) + frames22 + std::string(20, '\0') + audio);
    MusicItem r;
    r.title = "Neu";
    r.artist = "Band";
    r.length = 3;
    ASSERT_EQ(WriteMediaInfo(v2, r, context), 0);
    ID3v2Tag t2;
    ASSERT_TRUE(t2.ReadTag(v2));
    EXPECT_EQ(t2.MajorVersion(), 2);
    EXPECT_EQ(t2.GetTitle(), "Neu");
    EXPECT_EQ(t2.GetArtist(), "Band");
    EXPECT_EQ(t2.GetLength(), 3u);
    EXPECT_EQ(t2.GetTextFrame("TAL"), "Album 22");
    EXPECT_EQ(ReadFile(v2).substr(t2.Size() + 10), audio);

    // A 2.3 tag whose frame list breaks off (bytes that are no frame) cannot
    // be written back whole: the new tag goes in front of the untouched old one.
    const std::string v3 = dir / "broken23.mp3";
    const std::string frames23 = "TIT2" + be(4, 4) + std::string(2, '\0') + "\0Old"s + "t!t2" + be(2, 4) +
                                 std::string(2, '\0') + "xx";
    const std::string old = header(3, uint32_t(frames23.size())) + frames23 + audio;
    WriteFile(v3, old);
    ID3v2Tag probe;
    ASSERT_TRUE(probe.ReadTag(v3));
    EXPECT_FALSE(probe.Complete());
    ASSERT_EQ(WriteMediaInfo(v3, r, context), 0);
    ID3v2Tag t3;
    ASSERT_TRUE(t3.ReadTag(v3));
    EXPECT_EQ(t3.MajorVersion(), 4);
    EXPECT_EQ(t3.GetTitle(), "Neu");
    EXPECT_EQ(ReadFile(v3).substr(t3.Size() + 10), old);
}

TEST_F(MediaInfo, ReadOnlyFileShowsTheMessage) {
    const std::string path = dir / "ro.mp3";
    ASSERT_TRUE(MakeMp3(path));
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    auto attempt = [&] {
        ScriptedPrompt prompt;
        LibraryContext ctx = context;
        ctx.prompt = &prompt;
        MusicItem r;
        r.title = "x";
        const int result = SetMediaInfo(path, r, ctx);
        return result == -1 && prompt.asked().size() == 1 &&
               prompt.asked()[0].text == "Can't modify media info. Check to see if the file "
                                         "attribute is set to read-only." &&
               prompt.asked()[0].buttons == PromptButtons::Ok;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(attempt());
        return;
    }
    // Permissions do not bind the superuser: the attempt runs as another user.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all |
                                                 std::filesystem::perms::others_exec |
                                                 std::filesystem::perms::group_exec);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        ::_exit(attempt() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SetMediaInfo, EndingsDecideWhatIsWritten) {
    TempDir dir;
    LibraryContext context;
    MusicItem r;
    r.title = "t";
    WriteFile(dir / "a.wav", "x");
    EXPECT_EQ(SetMediaInfo(dir / "a.wav", r, context), -1);
    EXPECT_EQ(SetMediaInfo(dir / "none.mp3", r, context), -1);
    WriteFile(dir / "a.LSE", "lse data");
    EXPECT_EQ(SetMediaInfo(dir / "a.LSE", r, context), 0); // no prompt: the question is answered OK
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(dir / "a.LSE"));
    EXPECT_EQ(tag.GetTitle(), "t");
}

TEST(MpegHeader, Fields) {
    const uint8_t mpeg1[4] = {0xFF, 0xFB, 0x90, 0xC4}; // MPEG-1 layer III, 128 kb/s, 44.1 kHz, mono
    MpegHeaderInfo a = ParseMpegHeader(mpeg1);
    EXPECT_TRUE(a.valid);
    EXPECT_EQ(a.bitrate, 128000u);
    EXPECT_EQ(a.sampleRate, 44100u);
    EXPECT_EQ(a.channels, 1u);
    const uint8_t mpeg2[4] = {0xFF, 0xF3, 0x80,
                              0x00}; // MPEG-2 layer III, 64 kb/s, 22.05 kHz, stereo
    MpegHeaderInfo b = ParseMpegHeader(mpeg2);
    EXPECT_EQ(b.bitrate, 64000u);
    EXPECT_EQ(b.sampleRate, 22050u);
    EXPECT_EQ(b.channels, 2u);
    const uint8_t bad[4] = {'I', 'D', '3', 4};
    EXPECT_FALSE(ParseMpegHeader(bad).valid);
}

TEST(ProbeDuration, PostsResultsOneAtATime) {
    FakeEngine engine;
    engine.mp3Seconds["/x/a.mp3"] = 215.9;
    engine.mp3Seconds["/x/b.MP3"] = 10;
    engine.aacMilliseconds["/x/c.aac"] = 4500;
    std::vector<std::pair<std::string, intptr_t>> got;
    QueueMessageTarget target([&](const Message& m) {
        EXPECT_EQ(m.id, kDurationReady);
        got.emplace_back(std::any_cast<std::string>(m.payload), m.lparam);
        return intptr_t(0);
    });
    engine.SetLengthQueriesEnabled(false); // not consulted by the probes
    for (int i = 0; i < 20; ++i)
        ProbeDuration("/x/a.mp3", &target, &engine);
    ProbeDuration("/x/b.MP3", &target, &engine);
    ProbeDuration("/x/c.aac", &target, &engine);
    ProbeDuration("/x/d.wav", &target, &engine);
    ProbeDuration("/x/unknown.mp3", &target, &engine);
    WaitForDurationProbes();
    target.Pump();
    ASSERT_EQ(got.size(), 22u);
    EXPECT_EQ(got[0], std::make_pair(std::string("/x/a.mp3"), intptr_t(215)));
    EXPECT_EQ(got[20], std::make_pair(std::string("/x/b.MP3"), intptr_t(10)));
    EXPECT_EQ(got[21], std::make_pair(std::string("/x/c.aac"), intptr_t(4)));
    EXPECT_FALSE(engine.overlapped);
    EXPECT_EQ(engine.calls, 23);

    // Cancelling drops what is still queued for the target.
    for (int i = 0; i < 200; ++i)
        ProbeDuration("/x/a.mp3", &target, &engine);
    CancelDurationProbes(&target);
    const int callsAfterCancel = engine.calls;
    WaitForDurationProbes();
    EXPECT_EQ(engine.calls, callsAfterCancel);
}
