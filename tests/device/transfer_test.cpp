// The transfer engine: the card's files (tags read back by ffprobe, the
// audio compared through ffmpeg, the ID3v1 tail byte for byte), the worker's
// messages and result lists, and the edge cases: cancelling, a vanishing
// card, too little space, a declined overwrite, names, a failing write.
#include "device_test_support.h"

#include "device/transfer.h"
#include "device/transfer_session.h"
#include "library/id3v2_tag.h"
#include "library/media_info.h"
#include "platform/prompt.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/resource.h>

namespace lyb {
namespace {

namespace fs = std::filesystem;
using test::Capture;
using test::Quote;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

/// Records the worker's messages; `hook` runs on the worker's thread.
class RecordingTarget final : public MessageTarget {
public:
    std::function<void(const Message&)> hook;

    bool Post(Message m) override {
        if (hook)
            hook(m);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(std::move(m));
        return true;
    }
    std::intptr_t Send(Message m, std::intptr_t) override {
        Post(std::move(m));
        return 0;
    }
    using MessageTarget::Post;
    using MessageTarget::Send;

    std::vector<Message> Messages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    int Count(unsigned id) {
        int n = 0;
        for (const Message& m : Messages())
            n += m.id == id;
        return n;
    }
    std::vector<std::string> Texts(int which) {
        std::vector<std::string> texts;
        for (const Message& m : Messages())
            if (m.id == kMsgTransferText && static_cast<int>(m.wparam) == which)
                texts.push_back(std::any_cast<std::string>(m.payload));
        return texts;
    }

private:
    std::mutex m_mutex;
    std::vector<Message> m_messages;
};

struct TransferFixture : testing::Test {
    TempDir dir;
    std::string card = dir / "card";
    test::FakeUsb usb;
    ScriptedPrompt prompt;
    RecordingTarget dialog;
    RecordingTarget page;

    void SetUp() override {
        fs::create_directories(card);
        usb.root.Add("Orvik", "Orvik QRX-4", card);
        ASSERT_EQ(usb.manager.EnumerateDevices(), 1);
        usb.manager.SetSelectedDevice(0);
        usb.manager.SetPrompt(&prompt, nullptr);
    }

    TransferServices Services(int pauseMs = 0) {
        TransferServices s;
        s.manager = &usb.manager;
        s.prompt = &prompt;
        s.dialog = &dialog;
        s.page = &page;
        s.pauseMs = pauseMs;
        s.endWaitMs = 0;
        return s;
    }

    /// A record of a file as the Studio holds it.
    static MusicItem Item(const std::string& path, const std::string& title = "", uint32_t length = 2) {
        MusicItem item;
        EXPECT_EQ(GetMediaInfo(path, item, LibraryContext{}), 0) << path;
        item.title = title.empty() ? "Card " + fs::path(path).stem().string() : title;
        item.artist = "Card Artist";
        item.length = length;
        return item;
    }

    TransferOutcome Transfer(std::vector<MusicItem> items, int pauseMs = 0) {
        TransferWorker worker(Services(pauseMs), std::move(items));
        EXPECT_TRUE(worker.Start());
        worker.Join();
        EXPECT_TRUE(worker.Finished());
        return worker.Outcome();
    }

    std::vector<std::string> CardFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(card))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

/// The title and artist of the file's tags as ffprobe reads them ("title=...\nartist=...").
std::string ProbeTitleArtist(const std::string& path) {
    return Capture("ffprobe -v error -show_entries format_tags=title,artist -of default=noprint_wrappers=1 " +
                   Quote(path));
}

/// The md5 of the audio packets of two files as ffmpeg's demuxers read them
/// (tags are not part of them), one line each.
std::string AudioHashes(const std::string& a, const std::string& b) {
    return Capture("ffmpeg -nostdin -v error -i " + Quote(a) + " -i " + Quote(b) +
                   " -map 0:a -map 1:a -c copy -f streamhash -hash md5 -");
}

/// Bytes of the tag at the start (header + size + footer), 0 without one.
uint64_t TagBytes(const std::string& bytes) {
    ID3v2Tag tag;
    if (!tag.ReadTagFromBytes(bytes))
        return 0;
    return tag.TotalSize();
}

/// Checks the card's copy of `name` against its source in `dir`.
void CheckCardFile(const std::string& dir, const std::string& card, const std::string& name, bool keepsOldTag,
                   bool v1) {
    SCOPED_TRACE(name);
    const std::string source = ReadFile(dir + "/" + name);
    const std::string copy = ReadFile(card + "/" + name);
    ASSERT_GE(copy.size(), 10u);
    // A version-4 tag in front, with the record's title, artist and length.
    EXPECT_EQ(copy.substr(0, 4), std::string("ID3\x04", 4));
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTagFromBytes(copy));
    EXPECT_EQ(tag.GetLength(), 2u);
    const std::string title = "Card " + fs::path(name).stem().string();
    const std::string tags = ProbeTitleArtist(card + "/" + name);
    EXPECT_NE(tags.find("TAG:title=" + title + "\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TAG:artist=Card Artist\n"), std::string::npos) << tags;
    // Behind it the source: whole when its tag is older, else what follows its tag.
    const uint64_t ours = TagBytes(copy);
    const uint64_t theirs = keepsOldTag ? 0 : TagBytes(source);
    EXPECT_EQ(copy.substr(ours), source.substr(theirs));
    if (keepsOldTag) {
        EXPECT_EQ(copy.substr(ours, 4), std::string("ID3\x03", 4));
    }
    // The ID3v1 tail reaches the card unchanged.
    EXPECT_EQ(copy.substr(copy.size() - 128), source.substr(source.size() - 128));
    EXPECT_EQ(copy.substr(copy.size() - 128, 3) == "TAG", v1);
    // The audio, as a decoder's demuxer reads it, is the same.
    const std::string hashes = AudioHashes(dir + "/" + name, card + "/" + name);
    const size_t md5 = hashes.find(",a,MD5=");
    ASSERT_NE(md5, std::string::npos) << hashes;
    const std::string first = hashes.substr(md5 + 7, 32);
    EXPECT_EQ(hashes.find("1,a,MD5=" + first), hashes.find('\n') + 1) << hashes;
}

// --- The card's files, checked with tools we did not write ----------------------------

TEST_F(TransferFixture, MpegFilesGetAVersion4TagAndKeepTheirAudioAndTail) {
    if (!test::HaveTool("ffmpeg") || !test::HaveTool("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    struct Source {
        std::string name;
        std::string options; // ffmpeg's tag options
        bool keepsOldTag;    // an older tag travels in front of the audio
        bool v1;
    };
    const std::vector<Source> sources = {
        {"v23.mp3", "-id3v2_version 3 -write_id3v1 0", true, false},
        {"v24.mp3", "-id3v2_version 4 -write_id3v1 0", false, false},
        {"v1only.mp3", "-id3v2_version 3 -write_id3v1 1", false, true},
        {"both23.mp3", "-id3v2_version 3 -write_id3v1 1", true, true},
        {"both24.mp3", "-id3v2_version 4 -write_id3v1 1", false, true},
        {"none.mp3", "-id3v2_version 0 -write_id3v1 0", false, false},
    };
    std::vector<MusicItem> items;
    for (const Source& s : sources) {
        ASSERT_TRUE(test::MakeTaggedMp3(dir / s.name, s.options, 1.0)) << s.name;
        if (s.name == "v1only.mp3") {
            // ffmpeg writes no ID3v1 tag without an ID3v2 one: its version-2 tag is cut off.
            const std::string bytes = ReadFile(dir / s.name);
            WriteFile(dir / s.name, bytes.substr(TagBytes(bytes)));
            const std::string cut = ReadFile(dir / s.name);
            ASSERT_NE(cut.substr(0, 3), "ID3");
            ASSERT_EQ(cut.substr(cut.size() - 128, 3), "TAG");
        }
        items.push_back(Item(dir / s.name));
    }
    const TransferOutcome outcome = Transfer(items);
    EXPECT_EQ(outcome.successes, 6);
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_TRUE(outcome.failedPaths.empty());
    for (const Source& s : sources)
        CheckCardFile(dir.path(), card, s.name, s.keepsOldTag, s.v1);

    // mutagen, too, reads the card's tag with our texts and length.
    if (test::HaveTool("mutagen-inspect")) {
        const std::string dump = Capture("mutagen-inspect " + Quote(card + "/v23.mp3"));
        EXPECT_NE(dump.find("TIT2=Card v23"), std::string::npos) << dump;
        EXPECT_NE(dump.find("TLEN=2000"), std::string::npos) << dump;
    }

    // The worker's messages: per file a new-file and a file-done message,
    // the overall end once, then the dialog's end.
    EXPECT_EQ(dialog.Count(kMsgTransferNewFile), 6);
    EXPECT_EQ(dialog.Count(kMsgTransferFileDone), 6);
    EXPECT_EQ(dialog.Count(kMsgTransferAllDone), 1);
    EXPECT_EQ(dialog.Count(kMsgTransferFinished), 1);
    EXPECT_EQ(dialog.Messages().back().id, kMsgTransferFinished);
    EXPECT_EQ(page.Count(kMsgCardChanged), 6);
    const auto progress = dialog.Texts(1);
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Preparing to transfer ..."), progress.end());
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](const std::string& t) {
        return t.rfind("Transferred ", 0) == 0 && t.size() > 28 && t.substr(t.size() - 16) == " bytes to device";
    }));
}

TEST_F(TransferFixture, AacFilesOfTheEncoderGetTheirTagReplaced) {
    if (!test::HaveTool("ffmpeg") || !test::HaveTool("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    // AAC files made by the encoder front end: with its tag block, and bare.
    ASSERT_TRUE(test::Run("ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=660:duration=1 -ac 2 -ar 44100 " +
                          Quote(dir / "in.wav")));
    ASSERT_TRUE(test::Run(std::string(TESSEL_ENC) + " -q -b 128k --title EncTitle --artist EncArtist -o " +
                          Quote(dir / "tagged.aac") + " " + Quote(dir / "in.wav")));
    ASSERT_TRUE(test::Run(std::string(TESSEL_ENC) + " -q -b 96k -o " + Quote(dir / "bare.aac") + " " +
                          Quote(dir / "in.wav")));
    ASSERT_EQ(ReadFile(dir / "tagged.aac").substr(0, 4), std::string("ID3\x04", 4));
    const TransferOutcome outcome = Transfer({Item(dir / "tagged.aac"), Item(dir / "bare.aac")});
    EXPECT_EQ(outcome.successes, 2);
    CheckCardFile(dir.path(), card, "tagged.aac", false, false);
    CheckCardFile(dir.path(), card, "bare.aac", false, false);
    // The encoder's own tag was replaced: one tag, then the ADTS frames.
    const std::string copy = ReadFile(card + "/tagged.aac");
    EXPECT_EQ(static_cast<unsigned char>(copy[TagBytes(copy)]), 0xFFu);
}

// --- The copy of one file ------------------------------------------------------------------

struct CopyResult {
    int code;
    std::string written;
    int blocks = 0;
};

CopyResult CopyBytes(const std::string& path, const std::string& tag, uint64_t start) {
    CopyResult r{0, {}};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    CopyHooks hooks;
    hooks.write = [&](const void* data, size_t n) {
        r.written.append(static_cast<const char*>(data), n);
        ++r.blocks;
        return static_cast<long>(n);
    };
    hooks.pauseMs = 0;
    r.code = CopyToTarget(f, tag, start, hooks);
    std::fclose(f);
    return r;
}

TEST(TransferCopy, BlocksOf4096WithTheLast128BytesOnTheirOwn) {
    TempDir d;
    std::string bytes(10000, 'a');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    bytes.replace(bytes.size() - 128, 3, "TAG");
    WriteFile(d / "f", bytes);
    CopyResult r = CopyBytes(d / "f", "HEAD", 0);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.written, "HEAD" + bytes);
    // The tag, 4096, 4096, 10000-128-8192 up to the tail, the tail.
    EXPECT_EQ(r.blocks, 5);

    // Empty audio between the start and the tail, and files shorter than a tail.
    std::string tagOnly = std::string(300, 'x') + "TAG" + std::string(125, 'y');
    WriteFile(d / "g", tagOnly);
    r = CopyBytes(d / "g", "", 300);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.written, tagOnly.substr(300));
    r = CopyBytes(d / "g", "", 400); // starts inside the tail
    EXPECT_EQ(r.written, tagOnly.substr(400));
    WriteFile(d / "h", "short");
    r = CopyBytes(d / "h", "T", 0);
    EXPECT_EQ(r.written, "Tshort");
    WriteFile(d / "e", "");
    r = CopyBytes(d / "e", "T", 0);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.written, "T");
}

TEST(TransferCopy, CancelIsPolledBeforeEveryBlockAndWriteFailuresEndTheCopy) {
    TempDir d;
    WriteFile(d / "f", std::string(5 * 4096, 'z'));
    std::FILE* f = std::fopen((d / "f").c_str(), "rb");
    int polls = 0, writes = 0;
    CopyHooks hooks;
    hooks.pauseMs = 0;
    hooks.write = [&](const void*, size_t n) {
        ++writes;
        return static_cast<long>(n);
    };
    hooks.cancelled = [&] { return ++polls == 3; };
    EXPECT_EQ(CopyToTarget(f, "", 0, hooks), kTransferCancelled);
    EXPECT_EQ(writes, 2);
    bool told = false;
    hooks.cancelled = {};
    hooks.writeFailed = [&] { told = true; };
    hooks.write = [&](const void*, size_t n) { return static_cast<long>(n / 2); }; // short write
    EXPECT_EQ(CopyToTarget(f, "", 0, hooks), kTransferWriteFailed);
    EXPECT_TRUE(told);
    hooks.write = [&](const void*, size_t) { return -101L; };
    EXPECT_EQ(CopyToTarget(f, "tag", 0, hooks), kTransferCardGone);
    std::fclose(f);
}

TEST(TransferCopy, TargetNamesLoseTrailingBlanksBeforeTheExtension) {
    EXPECT_EQ(TargetNameFor("/music/Song   .mp3"), "Song.mp3");
    EXPECT_EQ(TargetNameFor("/music/a b .c/Track 1 .AAC"), "Track 1.AAC");
    EXPECT_EQ(TargetNameFor("/music/noext  "), "noext");
    EXPECT_EQ(TargetNameFor("/music/   .mp3"), "   .mp3");
}

TEST(TransferCopy, Version4TagWithFooterIsReplacedWhole) {
    TempDir d;
    ID3v2Tag tag;
    tag.SetTitleAndArtist("Old", "Old Artist");
    ASSERT_TRUE(tag.GrowToFit());
    std::string bytes = tag.Rendered();
    bytes[5] = 0x10; // footer present
    std::string footer = bytes.substr(0, 10);
    footer.replace(0, 3, "3DI");
    const std::string audio(5000, '\x55');
    WriteFile(d / "s.mp3", bytes + footer + audio);
    MusicItem item;
    item.path = d / "s.mp3";
    item.title = "New";
    item.length = kNoLength;
    std::string built;
    uint64_t start = 0;
    ASSERT_TRUE(BuildTransferTag(item, built, start));
    EXPECT_EQ(start, bytes.size() + 10);
    ID3v2Tag read;
    ASSERT_TRUE(read.ReadTagFromBytes(built));
    EXPECT_EQ(read.GetTitle(), "New");
    EXPECT_EQ(read.GetArtist(), ""); // the record's empty artist removes the frame
    EXPECT_EQ(read.GetTextFrame("TLEN"), ""); // no length frame for an unknown length
    EXPECT_FALSE(read.HasFooter());
}

// --- The worker's edge cases ------------------------------------------------------------------

TEST_F(TransferFixture, CancellingDuringTheThirdFileDiscardsItAndListsItAndTheRestAsFailed) {
    std::vector<MusicItem> items;
    for (int i = 1; i <= 5; ++i) {
        const std::string path = dir / ("t" + std::to_string(i) + ".mp3");
        WriteFile(path, std::string(20000, static_cast<char>('0' + i)));
        items.push_back(Item(path));
    }
    TransferWorker worker(Services(), items);
    dialog.hook = [&](const Message& m) {
        if (m.id == kMsgTransferNewFile && m.wparam == 2) {
            EXPECT_TRUE(worker.PostThreadMessage(kMsgTransferCancel));
        }
    };
    ASSERT_TRUE(worker.Start());
    worker.Join();
    const TransferOutcome& o = worker.Outcome();
    EXPECT_EQ(o.successes, 2);
    EXPECT_EQ(o.failed, 3);
    EXPECT_EQ(o.failedPaths, (std::vector<std::string>{items[2].path, items[3].path, items[4].path}));
    EXPECT_EQ(CardFiles(), (std::vector<std::string>{"t1.mp3", "t2.mp3"})); // nothing half-written
    EXPECT_EQ(dialog.Texts(1).back(), "Transfer cancelled");
    EXPECT_EQ(dialog.Count(kMsgTransferAllDone), 0);
    EXPECT_FALSE(worker.PostThreadMessage(kMsgTransferCancel)); // the queue ends with the thread
}

TEST_F(TransferFixture, ACardThatVanishesEndsTheTransferWithTheRestFailed) {
    std::vector<MusicItem> items;
    for (int i = 1; i <= 4; ++i) {
        const std::string path = dir / ("v" + std::to_string(i) + ".mp3");
        WriteFile(path, std::string(30000, 'v'));
        items.push_back(Item(path));
    }
    int blocks = 0;
    dialog.hook = [&](const Message& m) {
        // Pulled out during the second file.
        if (m.id == kMsgTransferStep && ++blocks == 10)
            fs::remove_all(card);
    };
    const TransferOutcome o = Transfer(items);
    EXPECT_EQ(o.successes, 1);
    EXPECT_EQ(o.failed, 3);
    EXPECT_EQ(o.failedPaths, (std::vector<std::string>{items[1].path, items[2].path, items[3].path}));
    ASSERT_FALSE(prompt.asked().empty());
    EXPECT_EQ(prompt.asked().back().text, "Can't transfer to usb device: error -101");
    EXPECT_EQ(dialog.Count(kMsgTransferFinished), 1);
}

TEST_F(TransferFixture, AnItemNeedsMoreThanItsSizeFree) {
    const std::string path = dir / "fits.mp3";
    WriteFile(path, std::string(100 * 1024, 'f'));
    usb.freeBytes = 100 * 1024; // exactly the item's 100 KB
    TransferOutcome o = Transfer({Item(path), Item(path)});
    EXPECT_TRUE(o.noSpace);
    EXPECT_EQ(o.successes, 0);
    EXPECT_EQ(o.failedPaths, (std::vector<std::string>{path, path}));
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text, "No enough space on mobile device");
    EXPECT_TRUE(CardFiles().empty());
    usb.freeBytes = 101 * 1024;
    o = Transfer({Item(path)});
    EXPECT_EQ(o.successes, 1);
}

TEST_F(TransferFixture, DeclinedOverwriteLeavesTheCardsFileAndSkipsTheItem) {
    const std::string path = dir / "same.mp3";
    WriteFile(path, std::string(9000, 's'));
    WriteFile(card + "/same.mp3", "the card's own");
    prompt.Push(PromptAnswer::No);
    const TransferOutcome o = Transfer({Item(path)});
    EXPECT_EQ(o.successes, 0);
    EXPECT_EQ(o.failedPaths, std::vector<std::string>{path});
    EXPECT_EQ(ReadFile(card + "/same.mp3"), "the card's own");
    ASSERT_EQ(prompt.asked().size(), 1u); // the question only, no error box
    const auto messages = dialog.Messages();
    auto skip = std::find_if(messages.begin(), messages.end(), [](const Message& m) { return m.id == kMsgTransferSkip; });
    ASSERT_NE(skip, messages.end());
    EXPECT_EQ(skip->lparam, 9000);
    EXPECT_EQ(dialog.Count(kMsgTransferNewFile), 0);
}

TEST_F(TransferFixture, SourcesOnTheCardOrMissingFailAndTheLoopGoesOn) {
    WriteFile(card + "/on card.mp3", std::string(5000, 'c'));
    const std::string missing = dir / "gone.mp3";
    WriteFile(missing, std::string(5000, 'g'));
    MusicItem gone = Item(missing);
    fs::remove(missing);
    const std::string good = dir / "Good  .mp3";
    WriteFile(good, std::string(5000, 'o'));
    const TransferOutcome o = Transfer({Item(card + "/on card.mp3"), gone, Item(good)});
    EXPECT_EQ(o.successes, 1);
    EXPECT_EQ(o.failedPaths, (std::vector<std::string>{card + "/on card.mp3", missing}));
    EXPECT_EQ(CardFiles(), (std::vector<std::string>{"Good.mp3", "on card.mp3"}));
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text, "Can't transfer to usb device: error -10");
    const auto progress = dialog.Texts(1);
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Transfer cancelled"), progress.end());
}

TEST_F(TransferFixture, AFailingWriteLeavesNothingOnTheCard) {
    const std::string path = dir / "big.mp3";
    WriteFile(path, std::string(400 * 1024, 'b'));
    const std::string small = dir / "small.mp3";
    WriteFile(small, std::string(1000, 's'));
    // The card fills up after 64 KB: writes past it fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const TransferOutcome o = Transfer({Item(path), Item(small)});
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(o.successes, 1);
    EXPECT_EQ(o.failedPaths, std::vector<std::string>{path});
    EXPECT_EQ(CardFiles(), std::vector<std::string>{"small.mp3"});
    const auto progress = dialog.Texts(1);
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Error while transferring, canceling ..."), progress.end());
}

// The Lockstream object: created for the run, told each item's length and
// bitrate, released at the end.
std::vector<std::string> g_lse;
class LseRecorder final : public LockstreamInterface {
public:
    int Slot0() override { return 0; }
    int Slot1() override { return 0; }
    int Slot2() override { return 0; }
    int Slot3() override { return 0; }
    int Slot4() override { return 0; }
    int Slot5() override { return 0; }
    void SetInfo(void*, const void*) override { g_lse.push_back("6"); }
    void SetBitrate(int v) override { g_lse.push_back("7:" + std::to_string(v)); }
    void SetTrack(int v) override { g_lse.push_back("8:" + std::to_string(v)); }
    int Slot9() override { return 0; }
    int Slot10() override { return 0; }
    int Slot11() override { return 0; }
    int Slot12() override { return 0; }
    int Command(void*, int, int, int) override { return 0; }
    void WriteFrame(void*, const unsigned char*, int) override {}
    void CloseFile(void*) override {}
    int Slot16() override { return 0; }
    void* CreateFile(const char*, int, const char*, int, int, int, const void*, const unsigned char*, int) override {
        return nullptr;
    }
    void* Attach(const char*, int, int) override { return nullptr; }
    int Ready() override { return 1; }
} g_recorder;

TEST_F(TransferFixture, TheLockstreamObjectIsToldEachItemsLengthAndBitrate) {
    const std::string path = dir / "l.mp3";
    WriteFile(path, std::string(3000, 'l'));
    MusicItem item = Item(path, "", 215);
    item.bitrate = 128000;
    TransferServices s = Services();
    s.createLockstream = [](LockstreamInterface** out) {
        g_lse.push_back("create");
        *out = &g_recorder;
        return 0;
    };
    s.releaseLockstream = [](LockstreamInterface** slot) {
        g_lse.push_back(*slot == &g_recorder ? "release" : "release?");
        *slot = nullptr;
        return 0;
    };
    g_lse.clear();
    TransferWorker worker(s, {item});
    ASSERT_TRUE(worker.Start());
    worker.Join();
    EXPECT_EQ(g_lse, (std::vector<std::string>{"create", "8:215", "7:128000", "release"}));
}

TEST_F(TransferFixture, LseFilesAreCopiedAsTheyAre) {
    const std::string path = dir / "p.lse";
    WriteFile(path, std::string(6000, 'p'));
    MusicItem item;
    item.path = path;
    item.type = kItemLse;
    item.size = 6000;
    EXPECT_EQ(Transfer({item}).successes, 1);
    EXPECT_EQ(ReadFile(card + "/p.lse"), std::string(6000, 'p'));
}

// --- The dialog's session -------------------------------------------------------------------

TEST_F(TransferFixture, TheDialogChecksTheDeviceAndTheRoomForEverything) {
    const std::string path = dir / "a.mp3";
    WriteFile(path, std::string(50 * 1024, 'a'));
    {
        usb.manager.SetSelectedDevice(-1);
        TransferSession session(Services(), {Item(path)});
        EXPECT_EQ(session.Start(), -1);
        usb.manager.SetSelectedDevice(0);
    }
    {
        TransferSession session(Services(), {});
        EXPECT_EQ(session.Start(), -1);
    }
    // 50 KB + 8 KB for the tag: 58 KB must be less than the free space.
    usb.freeBytes = 58 * 1024;
    {
        prompt.Push(PromptAnswer::No);
        TransferSession session(Services(), {Item(path)});
        EXPECT_EQ(session.Start(), -2);
        ASSERT_EQ(prompt.asked().size(), 1u);
        EXPECT_EQ(prompt.asked()[0].text, "No space available\n\nYes - proceed.\nNo - Cancel.");
        EXPECT_EQ(prompt.asked()[0].caption, "Lyrabox 3.0");
    }
    usb.freeBytes = 59 * 1024;
    TransferServices s = Services();
    TransferSession* current = nullptr;
    QueueMessageTarget dialogTarget([&](const Message& m) {
        current->OnMessage(m);
        return 0;
    });
    s.dialog = &dialogTarget;
    TransferSession session(s, {Item(path)});
    current = &session;
    EXPECT_EQ(session.Caption(), "Transferring files to device");
    EXPECT_EQ(session.TotalBar().upper, 0u);
    ASSERT_EQ(session.Start(), 0);
    EXPECT_EQ(session.TotalBar().upper, 50u * 1024 + 8192);
    while (!session.WorkerFinished() || dialogTarget.Pump() > 0)
        dialogTarget.PumpFor(20);
    session.Join();
    EXPECT_EQ(session.FileBar().position, session.FileBar().upper);
    EXPECT_EQ(session.TotalBar().position, session.TotalBar().upper);
    EXPECT_EQ(session.SourceText(), path);
    const TransferResultTexts r = session.ResultTexts();
    EXPECT_EQ(r.caption, "Transfer result");
    EXPECT_EQ(r.heading, "Transfer failed files");
    EXPECT_EQ(r.summary, "Transferred successfully: 1 track(s)\nCouldn't transfer: 0 track(s)");
}

TEST(TransferBars, StepsStopAtTheUpperEnd) {
    ProgressBar bar{10000, 0, 4096};
    bar.StepIt();
    bar.StepIt();
    EXPECT_EQ(bar.position, 8192u);
    bar.StepIt();
    EXPECT_EQ(bar.position, 10000u);
    bar.Advance(1);
    EXPECT_EQ(bar.position, 10000u);
}

} // namespace
} // namespace lyb
