// The ripping pipeline and the CD Player page, headless: rips of virtual
// discs through both extraction engines into files that decoders we did not
// write play, the questions about existing files, and the page's rules.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "cd/aspi_manager.h"
#include "cd/cd_doc.h"
#include "cd/cd_manager.h"
#include "cd/cd_state.h"
#include "cd/device_ioctl.h"
#include "cd/rip_pipeline.h"
#include "cd/rip_questions.h"
#include "library/id3v2_tag.h"
#include "platform/cdaudio/cd_audio.h"
#include "platform/prompt.h"
#include "rip_test_support.h"

namespace lyb {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

std::uint32_t Le32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }

// An encoder that writes the tag and then the PCM it gets, and remembers
// how it was opened.
struct FakeEncoder final : AACInterface {
    struct OpenCall {
        std::string path;
        TrackInfoBlock info{};
        int lse = 0, trackValue = 0, bitrate = 0;
        std::string prefix;
        bool gotStream = false;
    };
    std::vector<OpenCall> opens;
    int closes = 0;
    int failEncodeOfTrack = 0; ///< Encode fails from the first block of this (1-based) open
    std::FILE* file = nullptr;

    int ConvertPcm(float*, int, const unsigned char*, int, int) override { return 0; }
    int LseCommand(int, int, int) override { return 0; }
    int LseAttach(int, int) override { return 0; }
    void Close() override {
        if (file) std::fflush(file);
        file = nullptr;
        ++closes;
    }
    int Encode(const unsigned char* pcm, int n) override {
        if (failEncodeOfTrack && int(opens.size()) == failEncodeOfTrack) return -1;
        if (file) std::fwrite(pcm, 1, std::size_t(n), file);
        return 0;
    }
    int Open(const void*, const char* path, const void* info, int lse, int trackValue, int bitrate,
             const unsigned char* prefix, int prefixLength, FILE* f) override {
        OpenCall c;
        c.path = path ? path : "";
        std::memcpy(c.info.data(), info, kTrackInfoBytes);
        c.lse = lse, c.trackValue = trackValue, c.bitrate = bitrate;
        c.prefix.assign(reinterpret_cast<const char*>(prefix), std::size_t(prefixLength));
        c.gotStream = f != nullptr;
        opens.push_back(c);
        file = f;
        if (file) std::fwrite(prefix, 1, std::size_t(prefixLength), file);
        return 1;
    }
    int Reserved(int, int, int, int, int, int, int, int, int, int, int) override { return 1; }
    int Init() override { return 1; }
    int Shutdown() override { return 0; }
};

TEST(RipNames, TitlesBecomeFileNames) {
    EXPECT_EQ(SanitizeTrackTitle("AC/DC: Live?"), "AC_DC_ Live_");
    EXPECT_EQ(SanitizeTrackTitle("a\\b/c:d*e?f<g>h|i\"j"), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(SanitizeTrackTitle("Björk – Jóga"), "Björk – Jóga");
    EXPECT_EQ(EffectiveBitrate(0), 128000);
    EXPECT_EQ(EffectiveBitrate(192000), 192000);
}

TEST(RipBlocks, TrackInformationBlockAndTagPrefix) {
    TrackInfoBlock b = BuildTrackInfoBlock("Title", "Artist", std::string(300, 'x'), kRipFormatLse, 125, 96000,
                                           WaveFormat{});
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[528])), "Title");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[784])), "Artist");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[1040])).size(), 255u); // the slot keeps its NUL
    EXPECT_EQ(Le32(&b[1600]), 256u);
    EXPECT_EQ(Le32(&b[1608]), 125u);
    EXPECT_EQ(Le32(&b[1612]), 96000u);
    EXPECT_EQ(Le32(&b[1616]), 2u);
    EXPECT_EQ(Le32(&b[1620]), 16u);
    EXPECT_EQ(Le32(&b[1624]), 44100u);
    for (std::size_t i : {0u, 527u, 1295u, 1599u, 1604u, 1628u, 1671u}) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(Le32(&BuildTrackInfoBlock("t", "a", "b", kRipFormatAac, 1, 128000, WaveFormat{})[1600]), 0u);

    std::string prefix = BuildTagPrefix("AC/DC: Live?", "Ärzte");
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTagFromBytes(prefix));
    EXPECT_EQ(tag.MajorVersion(), 4);
    EXPECT_EQ(prefix.size(), tag.Size() + 10u);
    EXPECT_EQ(tag.GetTitle(), "AC/DC: Live?");
    EXPECT_EQ(tag.GetArtist(), "Ärzte");
}

// A virtual disc in a drive of its own, the CD Player page over it, and a
// loop that hands the engines' messages to the page.
class RipPage : public ::testing::Test {
protected:
    void TearDown() override {
        doc.reset();
        if (aspiHost) aspi.UnloadAspi();
        RegisterVirtualDrive(node, nullptr);
        SetCancelAll(false);
        SetCdState(kCdIdle);
        std::filesystem::remove_all(dir);
    }

    void Make(const std::vector<test::TrackSpec>& tracks, bool aspiEngine, AACInterface* encoder,
              VirtualDriveOptions options = {}) {
        dir = test::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        music = dir / "music";
        std::filesystem::create_directories(music);
        std::string error;
        drive = VirtualDrive::Load(test::MakeDiscFrom(dir, tracks), options, error);
        ASSERT_TRUE(drive) << error;
        RegisterVirtualDrive(node, drive);
        manager = std::make_unique<CCDManager>(SystemVersion{aspiEngine ? OsLine::Consumer : OsLine::NT, 0x0400},
                                               std::vector<std::string>{node});
        manager->DeviceIoctl().SetWaits(1ms, 0ms);
        if (aspiEngine) {
            aspiHost = std::make_unique<test::InProcessAspi>(std::vector<std::shared_ptr<ScsiTarget>>{drive});
            ASSERT_TRUE(aspiHost->Load(aspi));
            ASSERT_TRUE(manager->StartupCheckLoaded(aspi, true));
        }
        CdPageServices s;
        s.manager = manager.get();
        s.aspi = aspiEngine ? &aspi : nullptr;
        s.encoder = encoder;
        s.prompt = &prompt;
        s.questions = &questions;
        s.ripSettings = [this] { return settings; };
        s.enablePageSwitch = [this](bool on) { pageSwitch = on; };
        s.audioCdAssociated = [this] { return associated; };
        s.playerInCdMode = [this] { return playerInCdMode; };
        s.notifySmallPlayer = [this](int w) { smallPlayerNotes.push_back(w); };
        s.makeAudio = [] {
            return std::make_unique<CdAudio>(CdAudio::DeviceOpener{},
                                             [](const std::string&) { return MakeClockedOutput(50.0); });
        };
        settings.musicFolder = music.string();
        settings.bitrate = 128000;
        doc = std::make_unique<CCDDoc>(s);
        doc->SetOwner(&owner);
        doc->Pipeline().SetEncodeTap([this](int track, const std::uint8_t* p, std::size_t n) {
            std::lock_guard<std::mutex> lock(tapMutex);
            encoded[track].insert(encoded[track].end(), p, p + n);
        });
        doc->Start(false, 0, -1);
    }

    /// Pumps the page's messages until the saving ends; false on a timeout.
    bool WaitSaved(std::chrono::milliseconds limit = 20s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (doc->Saving() && std::chrono::steady_clock::now() < end) owner.PumpFor(10);
        owner.Pump();
        return !doc->Saving();
    }

    Bytes Image(int track) {
        const auto& t = drive->Sheet().tracks[std::size_t(track - 1)];
        Bytes b;
        EXPECT_TRUE(drive->ImageBytes(t.lba, t.frames, b));
        return b;
    }

    std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string node = "virtual:rip";
    std::filesystem::path dir, music;
    std::shared_ptr<VirtualDrive> drive;
    std::unique_ptr<CCDManager> manager;
    CAspiManager aspi;
    std::unique_ptr<test::InProcessAspi> aspiHost;
    ScriptedPrompt prompt;
    ScriptedFileDialog files;
    PromptRipQuestions questions{prompt, files};
    RipSettings settings;
    bool pageSwitch = true;
    bool associated = false, playerInCdMode = false;
    std::vector<int> smallPlayerNotes;
    std::unique_ptr<CCDDoc> doc;
    QueueMessageTarget owner{[this](const Message& m) { return doc ? doc->OnMessage(m) : 0; }};
    std::mutex tapMutex;
    std::map<int, Bytes> encoded;
};

// The whole promise: select tracks, Save Tracks, get tagged AAC files that
// FFmpeg and FAAD2 decode, from PCM equal to the disc's bytes.
class RipWithEngine : public RipPage, public ::testing::WithParamInterface<bool> {};

TEST_P(RipWithEngine, TaggedFilesDecodersPlayFromBitExactPcm) {
    test::Tessel tessel;
    ASSERT_NE(tessel.encoder, nullptr) << "libtessel.so beside the test";
    // A data track first; audio tracks of odd lengths (a tone and noise).
    Make({{30, true}, {1001, false, 440.0}, {377, false, 0}}, GetParam(), tessel.encoder);
    ASSERT_EQ(doc->FirstTrackOffset(), 1);
    ASSERT_EQ(doc->Rows().size(), 2u);
    EXPECT_EQ(doc->Rows()[0].title, "AUDIO TRACK 02");
    EXPECT_EQ(doc->Rows()[0].duration, "00:13");
    doc->ModifyTitle(0, "AC/DC: Live?");
    doc->SetArtist("Ärzte & Co");
    doc->SetAlbum("Live at the Virtual Hall");
    doc->SelectAll();
    doc->SaveTracks();
    EXPECT_TRUE(doc->Saving());
    EXPECT_EQ(GetCdState(), kCdExtracting);
    EXPECT_FALSE(pageSwitch);
    EXPECT_FALSE(doc->ControlsEnabled().save);
    EXPECT_TRUE(doc->ControlsEnabled().cancel);
    ASSERT_TRUE(WaitSaved());
    EXPECT_FALSE(doc->SavingFailed());
    EXPECT_EQ(GetCdState(), kCdIdle);
    EXPECT_TRUE(pageSwitch);
    EXPECT_EQ(FilesIn(music), (std::vector<std::string>{"AC_DC_ Live_.aac", "AUDIO TRACK 03.aac"}));
    // The PCM handed to Encode is the disc's, byte for byte.
    EXPECT_EQ(encoded[2], Image(2));
    EXPECT_EQ(encoded[3], Image(3));
    EXPECT_EQ(encoded.count(1), 0u);

    struct Expect {
        std::string file, title;
        std::uint32_t frames;
        bool tone;
    };
    for (const Expect& e : {Expect{"AC_DC_ Live_.aac", "AC/DC: Live?", 1001, true},
                            Expect{"AUDIO TRACK 03.aac", "AUDIO TRACK 03", 377, false}}) {
        SCOPED_TRACE(e.file);
        auto path = music / e.file;
        auto tags = test::FfprobeTags(path, dir);
        EXPECT_EQ(tags["title"], e.title);
        EXPECT_EQ(tags["artist"], "Ärzte & Co");
        const std::size_t samples = std::size_t(e.frames) * 588;
        for (auto decoded : {test::FfmpegDecode(path, dir), test::FaadDecode(path, dir)}) {
            EXPECT_EQ(decoded.errors.find("rror"), std::string::npos) << decoded.errors;
            // Every sample is there, plus the encoder's delay and last frame.
            EXPECT_GE(decoded.Frames(), samples);
            EXPECT_LE(decoded.Frames(), samples + 4 * 1024);
            if (e.tone) {
                EXPECT_NEAR(test::Rms(decoded.pcm, 0), 16000 / std::sqrt(2.0), 1500);
                EXPECT_GT(test::ToneShare(decoded.pcm, 0, 440.0), 0.9);
                EXPECT_GT(test::ToneShare(decoded.pcm, 1, 660.0), 0.9);
            } else {
                EXPECT_GT(test::Rms(decoded.pcm, 0), 10000);
            }
        }
    }
}

TEST_P(RipWithEngine, NinetyNineTracksOfOddLengths) {
    FakeEncoder enc;
    std::vector<test::TrackSpec> tracks;
    for (int i = 0; i < 99; ++i) tracks.push_back({std::uint32_t(1 + (i * 7) % 5), false, 0});
    Make(tracks, GetParam(), &enc);
    ASSERT_EQ(doc->Rows().size(), 99u);
    EXPECT_EQ(doc->Rows()[98].title, "AUDIO TRACK 99");
    doc->SelectAll();
    doc->SaveTracks();
    ASSERT_TRUE(WaitSaved());
    EXPECT_FALSE(doc->SavingFailed());
    EXPECT_EQ(FilesIn(music).size(), 99u);
    ASSERT_EQ(enc.opens.size(), 99u);
    for (int t = 1; t <= 99; ++t) {
        ASSERT_EQ(encoded[t], Image(t)) << t;
        auto file = test::ReadFile(music / ("AUDIO TRACK " + std::string(t < 10 ? "0" : "") + std::to_string(t) + ".aac"));
        ASSERT_EQ(file.size(), enc.opens[std::size_t(t - 1)].prefix.size() + Image(t).size()) << t;
    }
}

TEST_F(RipPage, NoToOverwriteThenCancelThenOkSkipsOnlyThatTrack) {
    FakeEncoder enc;
    Make({{20}, {21}, {22}}, false, &enc);
    { std::ofstream(music / "AUDIO TRACK 02.aac") << "the user's file"; }
    prompt.Push(PromptAnswer::No); // overwrite?  No
    files.Push(std::nullopt);      // the save dialog: Cancel
    prompt.Push(PromptAnswer::Ok); // continue with the next track?  OK
    doc->SelectAll();
    doc->SaveTracks();
    ASSERT_TRUE(WaitSaved());
    EXPECT_EQ(FilesIn(music), (std::vector<std::string>{"AUDIO TRACK 01.aac", "AUDIO TRACK 02.aac",
                                                        "AUDIO TRACK 03.aac"}));
    EXPECT_EQ(test::ReadText(music / "AUDIO TRACK 02.aac"), "the user's file");
    EXPECT_EQ(enc.opens.size(), 2u);
    auto asked = prompt.asked();
    ASSERT_EQ(asked.size(), 2u);
    std::string existing = (music / "AUDIO TRACK 02.aac").string();
    EXPECT_EQ(asked[0].text, "File " + existing + " already exists!\nDo you want to overwrite it?");
    EXPECT_EQ(asked[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(asked[0].icon, PromptIcon::Question);
    EXPECT_EQ(asked[1].text, "Do you want to continue with next track or cancel saving?");
    EXPECT_EQ(asked[1].buttons, PromptButtons::OkCancel);
    auto requests = files.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].proposedPath, existing);
    EXPECT_EQ(requests[0].filter, "AAC Files (*.aac)|*.aac|All files (*.*)|*.*||");
    EXPECT_EQ(requests[0].defaultExtension, "*.aac");
}

TEST_F(RipPage, CancelInTheFollowUpQuestionEndsTheSaving) {
    FakeEncoder enc;
    Make({{20}, {21}}, false, &enc);
    settings.musicFolder = (dir / "no such folder").string();
    files.Push(std::nullopt);
    prompt.Push(PromptAnswer::Cancel);
    doc->SelectAll();
    doc->SaveTracks();
    ASSERT_TRUE(WaitSaved());
    EXPECT_TRUE(enc.opens.empty());
    EXPECT_EQ(files.Requests().size(), 1u); // the second track is not asked about
}

TEST_F(RipPage, MissingMusicFolderGoesStraightToTheDialogAndBitrateZeroIs128000) {
    FakeEncoder enc;
    Make({{20}}, false, &enc);
    settings.musicFolder = (dir / "no such folder").string();
    settings.bitrate = 0;
    files.Push((dir / "chosen").string());
    doc->SelectAll();
    doc->SaveTracks();
    ASSERT_TRUE(WaitSaved());
    auto requests = files.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].proposedPath, "");
    EXPECT_TRUE(prompt.asked().empty());
    EXPECT_TRUE(std::filesystem::exists(dir / "chosen.aac")); // the default extension
    ASSERT_EQ(enc.opens.size(), 1u);
    EXPECT_EQ(enc.opens[0].bitrate, 128000);
    EXPECT_EQ(Le32(&enc.opens[0].info[1612]), 128000u);
    EXPECT_EQ(enc.opens[0].lse, 0);
    EXPECT_TRUE(enc.opens[0].gotStream);
}

TEST_F(RipPage, LseOutputIsNamedLseInBothEngines) {
    FakeEncoder enc;
    Make({{20}}, true, &enc);
    settings.outputFormat = kRipFormatLse;
    doc->SelectAll();
    doc->SaveTracks();
    ASSERT_TRUE(WaitSaved());
    EXPECT_EQ(FilesIn(music), std::vector<std::string>{"AUDIO TRACK 01.lse"});
    ASSERT_EQ(enc.opens.size(), 1u);
    EXPECT_EQ(enc.opens[0].lse, 1);
    EXPECT_EQ(Le32(&enc.opens[0].info[1600]), 256u);
}

TEST_F(RipPage, DataTrackFirstStartsTheListAtTrackTwoAndPlayNeedsARow) {
    FakeEncoder enc;
    Make({{40, true}, {300}, {300}}, false, &enc);
    EXPECT_EQ(doc->FirstTrackOffset(), 1);
    ASSERT_EQ(doc->Rows().size(), 2u);
    doc->PlayPause(); // no row selected
    EXPECT_FALSE(doc->Playing());
    EXPECT_EQ(doc->PlayButtonText(), "Play");
    doc->SetSelection({0});
    doc->PlayPause();
    EXPECT_TRUE(doc->Playing());
    EXPECT_EQ(doc->CurrentTrack(), 2);
    EXPECT_EQ(doc->Audio().CurrentTrack(), 2);
    EXPECT_EQ(doc->PlayButtonText(), "Pause");
    EXPECT_EQ(GetCdState(), kCdPlaying);
    doc->PlayPause();
    EXPECT_TRUE(doc->Paused());
    EXPECT_EQ(doc->PlayButtonText(), "Resume");
    EXPECT_EQ(GetCdState(), kCdPaused);
    doc->PlayPause();
    EXPECT_FALSE(doc->Paused());
    EXPECT_EQ(doc->PlayButtonText(), "Pause");
    // At 50 times real time the 4-second track ends soon; the page stops.
    auto end = std::chrono::steady_clock::now() + 5s;
    while (doc->Playing() && std::chrono::steady_clock::now() < end) owner.PumpFor(20);
    EXPECT_FALSE(doc->Playing());
    EXPECT_TRUE(doc->TakeTrackEnded());
    EXPECT_EQ(doc->PlayButtonText(), "Play");
    EXPECT_EQ(GetCdState(), kCdIdle);
    // The data track is never saved.
    doc->SelectAll();
    doc->SaveTracks();
    ASSERT_TRUE(WaitSaved());
    EXPECT_EQ(encoded.count(1), 0u);
    EXPECT_EQ(encoded[2], Image(2));
}

TEST_F(RipPage, CancelAnsweredNoKeepsRippingAndYesEndsIt) {
    FakeEncoder enc;
    VirtualDriveOptions slow;
    slow.slowMicrosPerFrame = 400;
    Make({{600}, {600}}, false, &enc, slow);
    doc->CancelSaving(); // not saving: nothing, not even a question
    EXPECT_TRUE(prompt.asked().empty());
    doc->SelectAll();
    doc->SaveTracks();
    owner.PumpFor(30);
    prompt.Push(PromptAnswer::No);
    doc->CancelSaving();
    EXPECT_TRUE(doc->Saving());
    EXPECT_EQ(prompt.asked().back().text, "Are you sure?");
    while (doc->Saving() && doc->SavingTrack() < 2) owner.PumpFor(10);
    prompt.Push(PromptAnswer::Yes);
    doc->CancelSaving();
    EXPECT_FALSE(doc->Saving());
    EXPECT_TRUE(doc->SavingFailed());
    EXPECT_EQ(GetCdState(), kCdIdle);
    // The first file is complete; nothing of the second is left.
    EXPECT_EQ(FilesIn(music), std::vector<std::string>{"AUDIO TRACK 01.aac"});
    EXPECT_EQ(encoded[1], Image(1));
}

TEST_P(RipWithEngine, DiscRemovedDuringARipLeavesNoPartialFileAndFreesThePage) {
    FakeEncoder enc;
    VirtualDriveOptions o;
    o.slowMicrosPerFrame = 100;
    o.removeAtFrame = 200 + 150; // in the middle of track 2
    Make({{200}, {300}, {100}}, GetParam(), &enc, o);
    { std::ofstream(music / "AUDIO TRACK 02.aac") << "the user's file"; }
    doc->SelectAll();
    doc->SaveTracks(); // overwrite: Yes (the script's default)
    auto end = std::chrono::steady_clock::now() + 10s;
    bool told = false;
    while (doc->Saving() && std::chrono::steady_clock::now() < end) {
        owner.PumpFor(10);
        if (!told && !drive->MediumPresent()) {
            doc->OnDeviceChange(false, 1u, true); // the watcher's removal notice
            told = true;
        }
    }
    ASSERT_FALSE(doc->Saving()) << "the page must not hang";
    EXPECT_TRUE(doc->SavingFailed());
    EXPECT_EQ(GetCdState(), kCdIdle);
    EXPECT_EQ(FilesIn(music), (std::vector<std::string>{"AUDIO TRACK 01.aac", "AUDIO TRACK 02.aac"}));
    EXPECT_EQ(test::ReadText(music / "AUDIO TRACK 02.aac"), "the user's file");
    EXPECT_EQ(encoded[1], Image(1));
    // The drive is read again once the page is free: no disc, no tracks.
    EXPECT_TRUE(doc->Rows().empty());
    EXPECT_FALSE(CancelAllRequested());
}

TEST_F(RipPage, NotEnoughFreeSpaceRefusesTheTrackBeforeWriting) {
    FakeEncoder enc;
    Make({{750}}, false, &enc);
    doc->Pipeline().SetFreeSpaceQuery([](const std::string&, std::uint64_t& free) {
        free = 100000;
        return true;
    });
    doc->SelectAll();
    doc->SaveTracks();
    ASSERT_TRUE(WaitSaved());
    EXPECT_TRUE(enc.opens.empty());
    EXPECT_TRUE(FilesIn(music).empty());
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_NE(prompt.asked()[0].text.find("Not enough free space"), std::string::npos);
    // 10 s at 128000 bit/s with its margin against 100000 bytes: the two
    // sizes never read alike.
    EXPECT_NE(prompt.asked()[0].text.find("(about 446 KB needed, 97 KB free)"), std::string::npos)
        << prompt.asked()[0].text;
}

TEST_P(RipWithEngine, AnEncoderFailureFailsThatTrackOnly) {
    FakeEncoder enc;
    enc.failEncodeOfTrack = 1;
    Make({{60}, {60}}, GetParam(), &enc);
    doc->SelectAll();
    doc->SaveTracks();
    ASSERT_TRUE(WaitSaved());
    EXPECT_TRUE(doc->SavingFailed());
    EXPECT_EQ(FilesIn(music), std::vector<std::string>{"AUDIO TRACK 02.aac"});
    EXPECT_EQ(encoded[2], Image(2));
}

TEST_F(RipPage, EjectDuringSavingAsksAndThePlayerControlsRefuse) {
    FakeEncoder enc;
    VirtualDriveOptions slow;
    slow.slowMicrosPerFrame = 400;
    Make({{900}}, false, &enc, slow);
    doc->SelectAll();
    doc->SaveTracks();
    doc->PlayerEject();
    EXPECT_EQ(prompt.asked().back().text, "Saving in progress!");
    EXPECT_EQ(prompt.asked().back().icon, PromptIcon::Warning);
    EXPECT_TRUE(drive->MediumPresent());
    prompt.Push(PromptAnswer::No);
    doc->EjectButton(); // through timer 335 (run at once here)
    EXPECT_TRUE(doc->Saving());
    EXPECT_TRUE(drive->MediumPresent());
    prompt.Push(PromptAnswer::Yes);
    doc->EjectButton();
    EXPECT_FALSE(doc->Saving());
    EXPECT_FALSE(drive->MediumPresent());
    EXPECT_TRUE(FilesIn(music).empty());
    EXPECT_TRUE(doc->Rows().empty());
}

TEST_F(RipPage, ProgressTextsFromTheEngines) {
    FakeEncoder enc;
    Make({{20}}, false, &enc);
    doc->SelectAll();
    doc->SaveTracks();
    doc->OnMessage(Message{kMsgDaeProgress, 75, 12, {}});
    EXPECT_EQ(doc->EstimatedText(), "Estimated time : 01:15");
    EXPECT_EQ(doc->SpeedText(), "Speed: x12");
    doc->OnMessage(Message{kMsgDaeProgress, 75, kDaeRetrying, {}});
    EXPECT_EQ(doc->SpeedText(), "Speed: retrying");
    ASSERT_TRUE(WaitSaved());
    EXPECT_EQ(doc->EstimatedText(), "Estimated time : 00:00");
    EXPECT_EQ(doc->SpeedText(), "Speed: x00");
    EXPECT_EQ(doc->ProgressPosition(), 0);
}

TEST_F(RipPage, HandOffAndCommandLineRequestsPlayTheTrack) {
    FakeEncoder enc;
    Make({{40, true}, {300}, {300}}, false, &enc);
    doc->PlayRequest(0, 2); // "Track03.cda": the third track, row 1
    EXPECT_TRUE(doc->Playing());
    EXPECT_EQ(doc->CurrentTrack(), 3);
    doc->Stop();
    EXPECT_FALSE(doc->Playing());
    doc->PlayRequest(0, -1); // the bare drive: the whole disc
    EXPECT_EQ(doc->Selection().size(), 2u);
    EXPECT_EQ(doc->CurrentTrack(), 2);
    doc->Stop();
    SetCdState(kCdExtracting); // never during an extraction
    doc->PlayRequest(0, 1);
    EXPECT_FALSE(doc->Playing());
    SetCdState(kCdIdle);
}

TEST_F(RipPage, DiscArrivalPlaysWhenTheAssociationIsOursAndRemovalTellsTheSmallPlayer) {
    FakeEncoder enc;
    Make({{300}, {300}}, false, &enc);
    drive->RemoveMedium();
    doc->OnDeviceChange(false, 1u, true);
    EXPECT_TRUE(doc->Rows().empty());
    drive->InsertMedium();
    doc->OnDeviceChange(true, 1u, true); // not ours: the disc is only read
    EXPECT_EQ(doc->Rows().size(), 2u);
    EXPECT_FALSE(doc->Playing());
    associated = true;
    doc->OnDeviceChange(true, 1u, true); // ours: every row is selected and played
    EXPECT_EQ(doc->Selection().size(), 2u);
    EXPECT_TRUE(doc->Playing());
    EXPECT_EQ(doc->CurrentTrack(), 1);
    playerInCdMode = true;
    drive->RemoveMedium();
    doc->OnDeviceChange(false, 1u, true);
    EXPECT_FALSE(doc->Playing());
    EXPECT_EQ(smallPlayerNotes.back(), kSmallPlayerCdStopped);
    doc->OnDeviceChange(true, 2u, true); // a drive the list does not have: nothing
}

TEST_F(RipPage, TimersAndRandomPlayWithItsPlayedFlags) {
    FakeEncoder enc;
    Make({{300}, {300}, {300}}, false, &enc);
    doc->SetSelection({1});
    doc->PlayPause();
    ASSERT_EQ(doc->CurrentTrack(), 2);
    doc->OnTimer(kTimerStop);
    EXPECT_FALSE(doc->Playing());
    doc->OnTimer(kTimerStopAndPlay);
    EXPECT_TRUE(doc->Playing());
    EXPECT_EQ(doc->CurrentTrack(), 2);
    // Three random plays cover the three tracks once each; the fourth starts over.
    std::set<int> played;
    for (int i = 0; i < 3; ++i) {
        doc->RandomPlayNext();
        played.insert(doc->CurrentTrack());
    }
    EXPECT_EQ(played, (std::set<int>{1, 2, 3}));
    for (const auto& t : doc->Tracks()) EXPECT_TRUE(t.played);
    doc->RandomPlayNext();
    EXPECT_TRUE(doc->Playing());
    EXPECT_EQ(std::count_if(doc->Tracks().begin(), doc->Tracks().end(), [](const CDTrackInfo& t) { return t.played; }),
              1);
    doc->Stop();
}

INSTANTIATE_TEST_SUITE_P(Engines, RipWithEngine, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Aspi" : "DeviceControls"; });

} // namespace
} // namespace lyb
