#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "cd_test_support.h"
#include "platform/cdrom/cue_sheet.h"
#include "platform/cdrom/virtual_drive.h"
#include "platform/trace.h"

namespace lyb {
namespace {

std::string DataDir() {
    const char* d = std::getenv("LYB_TEST_DATA");
    return std::string(d ? d : "tests/data") + "/cd";
}

TEST(CueSheet, ParsesTracksTitlesAndMultipleFiles) {
    CueSheet s;
    std::string error;
    ASSERT_TRUE(ParseCueSheet("FILE \"a b.bin\" BINARY\r\n TRACK 01 AUDIO\n  TITLE \"One\"\n  INDEX 00 00:00:00\n"
                              "  INDEX 01 00:02:00\nFILE b.bin BINARY\n TRACK 02 MODE1/2352\n  INDEX 01 00:00:00\n",
                              "/x", s, error))
        << error;
    ASSERT_EQ(s.tracks.size(), 2u);
    EXPECT_EQ(s.files[0].path, "/x/a b.bin");
    EXPECT_EQ(s.tracks[0].fileFrame, 150u);
    EXPECT_EQ(s.tracks[0].title, "One");
    EXPECT_FALSE(s.tracks[1].audio);
    s.files[0].frames = 1000;
    s.files[1].frames = 500;
    ASSERT_TRUE(LayOutCueSheet(s, error)) << error;
    EXPECT_EQ(s.tracks[0].lba, 150u);
    EXPECT_EQ(s.tracks[0].frames, 850u);
    EXPECT_EQ(s.tracks[1].lba, 1000u);
    EXPECT_EQ(s.leadOutLba, 1500u);
}

TEST(CueSheet, MalformedSheetsAreRefusedWithAReason) {
    const char* bad[] = {
        "",                                                             // no tracks
        "TRACK 01 AUDIO\nINDEX 01 00:00:00\n",                          // no FILE
        "FILE x.bin BINARY\nTRACK 01 AUDIO\n",                          // no INDEX 01
        "FILE x.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:60:00\n",       // seconds out of range
        "FILE x.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 0:0\n",            // not MSF
        "FILE x.bin BINARY\nTRACK 02 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n",
        "FILE x.bin BINARY\nTRACK 01 CDG\nINDEX 01 00:00:00\n",         // mode
        "FILE \"x.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",     // quote
        "FILE x.bin WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",         // file type
        "FILE x.bin BINARY\nTRACK 100 AUDIO\nINDEX 01 00:00:00\n",
        "FILE x.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nBOGUS\n",
    };
    for (const char* text : bad) {
        CueSheet s;
        std::string error;
        EXPECT_FALSE(ParseCueSheet(text, ".", s, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(CueSheet, BadFilesGiveNoDrive) {
    std::string error;
    EXPECT_EQ(VirtualDrive::Load(DataDir() + "/cue/missing_bin.cue", {}, error), nullptr);
    EXPECT_NE(error.find("not found"), std::string::npos) << error;
    EXPECT_EQ(VirtualDrive::Load(DataDir() + "/cue/partial_frame.cue", {}, error), nullptr);
    EXPECT_NE(error.find("whole"), std::string::npos) << error;
    EXPECT_EQ(VirtualDrive::Load(DataDir() + "/cue/index_beyond_end.cue", {}, error), nullptr);
    EXPECT_EQ(VirtualDrive::Load(DataDir() + "/cue/no_such.cue", {}, error), nullptr);
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST(VirtualDrive, TocAndDeviceControlsFollowTheImage) {
    auto dir = test::TempDir("vd");
    std::string error;
    auto drive = VirtualDrive::Load(test::MakeDisc(dir, {100, 200, 50}, true), {}, error);
    ASSERT_TRUE(drive) << error;
    auto dev = drive->OpenDevice();
    CdToc toc;
    ASSERT_EQ(dev->ReadToc(toc), 0);
    ASSERT_EQ(toc.entries.size(), 4u);
    EXPECT_EQ(toc.entries[1].lba, 100u);
    EXPECT_EQ(toc.entries[2].control & 4, 4);
    EXPECT_EQ(toc.entries[3].track, kLeadOutTrack);
    EXPECT_EQ(toc.entries[3].lba, 350u);
    std::vector<std::uint8_t> got(2 * kCdFrameBytes), want;
    ASSERT_EQ(dev->ReadAudio(99, 2, got.data()), 0);
    ASSERT_TRUE(drive->ImageBytes(99, 2, want));
    EXPECT_EQ(got, want);
    EXPECT_EQ(dev->ReadAudio(349, 2, got.data()), kErrorIoDevice); // past the lead-out
    EXPECT_EQ(dev->PlayAudio(100, 300), 0);
    EXPECT_EQ(dev->PauseAudio(), 0);
    EXPECT_EQ(drive->State(), VirtualDrive::PlayState::Paused);
    EXPECT_EQ(dev->ResumeAudio(), 0);
    EXPECT_EQ(drive->State(), VirtualDrive::PlayState::Playing);
    EXPECT_EQ(dev->StopAudio(), 0);
    EXPECT_EQ(dev->Eject(), 0);
    EXPECT_EQ(dev->ReadToc(toc), kErrorNotReady);
    std::filesystem::remove_all(dir);
}

TEST(VirtualDrive, FaultSwitches) {
    VirtualDriveOptions o;
    std::string error;
    ASSERT_TRUE(ParseVirtualDriveOptions("reject=D5:d8;unit-attention;eio=10:20;eio-repeat=2;slow-us=5;remove-at=90;"
                                         "unreadable-from=80;no-medium",
                                         o, error))
        << error;
    EXPECT_EQ(o.rejectedOpcodes, (std::set<std::uint8_t>{0xD5, 0xD8}));
    EXPECT_TRUE(o.unitAttentionFirst && o.noMedium);
    EXPECT_EQ(o.errorFrames.size(), 2u);
    EXPECT_EQ(o.errorRepeat, 2);
    EXPECT_EQ(o.removeAtFrame, 90);
    EXPECT_EQ(o.unreadableFrom, 80);
    EXPECT_FALSE(ParseVirtualDriveOptions("eio=x", o, error));
    EXPECT_FALSE(ParseVirtualDriveOptions("warp-speed", o, error));

    auto dir = test::TempDir("faults");
    VirtualDriveOptions eio;
    eio.errorFrames = {10};
    eio.errorRepeat = 1;
    eio.removeAtFrame = 50;
    auto drive = VirtualDrive::Load(test::MakeDisc(dir, {100}), eio, error);
    ASSERT_TRUE(drive) << error;
    std::vector<std::uint8_t> buf(kCdFrameBytes);
    EXPECT_EQ(drive->ReadAudio(10, 1, buf.data()), kErrorIoDevice);
    EXPECT_EQ(drive->ReadAudio(10, 1, buf.data()), 0); // failed once only
    EXPECT_EQ(drive->ReadAudio(50, 1, buf.data()), kErrorNotReady);
    EXPECT_EQ(drive->ReadAudio(0, 1, buf.data()), kErrorNotReady); // the medium is gone
    std::uint8_t tur[6] = {};
    ScsiResult r = drive->Execute(tur, 6, ScsiDirection::None, nullptr, 0);
    EXPECT_EQ(r.targetStatus, 2);
    EXPECT_EQ(r.SenseKey(), 2);
    drive->InsertMedium();
    EXPECT_EQ(drive->Execute(tur, 6, ScsiDirection::None, nullptr, 0).targetStatus, 0);
    std::filesystem::remove_all(dir);
}

TEST(CueSheet, BadSheetInTheEnvironmentGivesNoDriveAndATrace) {
    std::vector<std::string> traces;
    SetTraceSink([&](std::string_view t) { traces.emplace_back(t); });
    ::setenv("LYB30_VIRTUAL_CD", (DataDir() + "/cue/missing_bin.cue").c_str(), 1);
    auto drives = ListCdromDrives();
    ::unsetenv("LYB30_VIRTUAL_CD");
    SetTraceSink({});
    EXPECT_EQ(std::find(drives.begin(), drives.end(), kVirtualDriveNode), drives.end());
    ASSERT_FALSE(traces.empty());
    EXPECT_NE(traces[0].find("BIN file not found"), std::string::npos) << traces[0];
    EXPECT_EQ(OpenCdromDevice(kVirtualDriveNode), nullptr);
}

// A device or an oversized file named as the sheet is refused before it is
// read whole: /dev/zero used to be read until memory ran out.
TEST(CueSheet, OnlyARegularFileWithinTheLimitIsRead) {
    CueSheet sheet;
    std::string error;
    EXPECT_FALSE(LoadCueSheet("/dev/zero", sheet, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    auto dir = test::TempDir("cue_limit");
    { std::ofstream(dir / "big.cue"); }
    std::filesystem::resize_file(dir / "big.cue", kCueSheetLimit + 1);
    EXPECT_FALSE(LoadCueSheet((dir / "big.cue").string(), sheet, error));
    EXPECT_EQ(error, "CUE sheet too large");
    std::filesystem::remove_all(dir);
}

TEST(LinuxCdrom, MissingNodesAreReportedNotCrashed) {
    int error = 0;
    EXPECT_EQ(OpenCdromDevice("/nonexistent/sr9", &error), nullptr);
    EXPECT_EQ(error, kErrorFileNotFound);
    EXPECT_EQ(OpenSgTarget("/nonexistent/sg9", &error), nullptr);
    // /dev/null takes no CD-ROM controls: "invalid function", as the callers expect.
    auto dev = OpenCdromDevice("/dev/null", &error);
    ASSERT_NE(dev, nullptr);
    CdToc toc;
    EXPECT_EQ(dev->ReadToc(toc), kErrorInvalidFunction);
    EXPECT_EQ(dev->StopAudio(), kErrorInvalidFunction);
}

TEST(MsfAddresses, IncludeTheTwoSecondLeadIn) {
    int m, s, f;
    LbaToMsf(0, m, s, f);
    EXPECT_EQ(std::tie(m, s, f), std::make_tuple(0, 2, 0));
    LbaToMsf(4500 * 3 + 75 * 7 + 4, m, s, f);
    EXPECT_EQ(std::tie(m, s, f), std::make_tuple(3, 9, 4));
    EXPECT_EQ(MsfToLba(3, 9, 4), 4500 * 3 + 75 * 7 + 4);
}

} // namespace
} // namespace lyb
