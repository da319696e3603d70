// The Mobile Device page's state: the device tree, the card's list with its
// texts and lengths, the space texts, the context menu's greying, deletion
// with its questions, and the refresh rules.
#include "device_test_support.h"

#include "device/mobile_device_page.h"
#include "device/transfer.h"
#include "library/media_info.h"
#include "platform/message_target.h"
#include "platform/prompt.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace lyb {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

struct PageFixture : testing::Test {
    TempDir dir;
    std::string card1 = dir / "card1";
    std::string card2 = dir / "card2";
    test::FakeUsb usb;
    ScriptedPrompt prompt;
    int availabilityChecks = 0;
    int smallPlayerNotes = 0;
    bool smallPlayer = false;
    std::vector<int> sleeps;
    std::unique_ptr<MobileDevicePage> page;
    std::vector<DevicePageChange> changes;

    void SetUp() override {
        fs::create_directories(card1);
        fs::create_directories(card2);
        usb.totalBytes = 8 * 1024 * 1024;
        usb.freeBytes = 3 * 1024 * 1024;
        DevicePageServices s;
        s.manager = &usb.manager;
        s.context.prompt = &prompt;
        s.transferAvailabilityChanged = [this] { ++availabilityChecks; };
        s.smallPlayerExists = [this] { return smallPlayer; };
        s.notifySmallPlayer = [this] { ++smallPlayerNotes; };
        s.sleep = [this](int ms) { sleeps.push_back(ms); };
        page = std::make_unique<MobileDevicePage>(s);
        page->AddListener([this](const DevicePageChange& c) { changes.push_back(c); });
    }

    std::vector<std::string> Labels() const {
        std::vector<std::string> labels;
        for (const DeviceNode& n : page->Tree())
            labels.push_back(n.label);
        return labels;
    }
    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (int row = 0; row < page->RowCount(); ++row)
            titles.push_back(page->CellText(row, 0));
        return titles;
    }
};

TEST_F(PageFixture, TheTreeShowsThePhonesOrThatNoneWasFound) {
    page->RefreshDevices(-1);
    ASSERT_EQ(page->Tree().size(), 1u);
    EXPECT_EQ(page->Tree()[0].label, "No Devices Found");
    EXPECT_EQ(page->Tree()[0].image, kImageNoDevice);
    EXPECT_EQ(page->Tree()[0].value, -1);
    EXPECT_EQ(page->SelectedNode(), 0);
    EXPECT_FALSE(page->DeviceSelected());

    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    usb.root.Add("orvik", "Orvik 6620", card2);
    smallPlayer = true;
    const int checks = availabilityChecks;
    page->RefreshDevices(-1);
    EXPECT_EQ(Labels(), (std::vector<std::string>{"Orvik Mobile Devices", "Orvik QRX-4", "Orvik 6620"}));
    EXPECT_EQ(page->Tree()[0].image, kImageRoot);
    EXPECT_EQ(page->Tree()[1].image, kImageDevice);
    EXPECT_EQ(page->Tree()[1].value, 0);
    EXPECT_EQ(page->Tree()[2].value, 1);
    EXPECT_EQ(page->SelectedNode(), 0); // the root
    EXPECT_EQ(page->SelectedDevice(), -1);
    EXPECT_FALSE(page->DeviceSelected());
    EXPECT_EQ(page->UsedText(), "");
    EXPECT_EQ(smallPlayerNotes, 1);
    EXPECT_GT(availabilityChecks, checks);

    // A refresh asking for the second phone selects it and lists its card.
    WriteFile(card2 + "/b.mp3", std::string(3000, 'b'));
    page->RefreshDevices(1);
    EXPECT_EQ(page->SelectedNode(), 2);
    EXPECT_EQ(page->SelectedDevice(), 1);
    EXPECT_TRUE(page->DeviceSelected());
    EXPECT_EQ(Titles(), std::vector<std::string>{"b"});
    EXPECT_EQ(page->UsedText(), "5120 Kb");
    EXPECT_EQ(page->FreeText(), "3072 Kb");

    // Choosing the root clears the texts and the list.
    page->SelectNode(0);
    EXPECT_EQ(page->SelectedDevice(), -1);
    EXPECT_EQ(page->RowCount(), 0);
    EXPECT_EQ(page->FreeText(), "");
}

TEST_F(PageFixture, RemovingThePhoneWhileItsCardIsShownFallsBackToNoDevices) {
    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    WriteFile(card1 + "/a.mp3", std::string(3000, 'a'));
    page->RefreshDevices(0);
    ASSERT_EQ(page->RowCount(), 1);
    usb.root.devices.clear();
    Message removed{kMsgRefreshDevices, 0, 1, {}};
    EXPECT_TRUE(page->OnMessage(removed)); // a non-zero second parameter does nothing
    EXPECT_EQ(page->RowCount(), 1);
    removed.lparam = 0;
    page->OnMessage(removed);
    EXPECT_EQ(Labels(), std::vector<std::string>{"No Devices Found"});
    EXPECT_EQ(page->RowCount(), 0);
    EXPECT_FALSE(page->DeviceSelected());
}

TEST_F(PageFixture, TheListHoldsTheMusicFilesOfTheCardsRootFolder) {
    if (!test::HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is needed";
    ASSERT_TRUE(test::MakeMp3(card1 + "/song.mp3",
                              "-id3v2_version 4 -metadata title=Tagged -metadata TLEN=125000", 1.0));
    ASSERT_TRUE(test::MakeMp3(card1 + "/untagged.mp3", "-id3v2_version 0", 1.0));
    WriteFile(card1 + "/clip.aac", std::string(2048, 'c'));
    WriteFile(card1 + "/protected.lse", std::string(2048, 'l'));
    WriteFile(card1 + "/notes.txt", "text");
    WriteFile(card1 + "/.half.mp3.part", std::string(100, 'h'));
    fs::create_directories(card1 + "/Music");
    WriteFile(card1 + "/Music/deeper.mp3", std::string(2048, 'd'));
    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    page->RefreshDevices(0);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"clip", "Tagged", "untagged"}));
    EXPECT_EQ(page->CellText(1, 1), "02:05");
    EXPECT_EQ(page->CellText(0, 1), "??:??");
    EXPECT_EQ(page->CellText(0, 2), "2 Kb");
    EXPECT_EQ(page->ColumnHeading(1), "Length");

    // DurationReady fills in a length by the exact path.
    const std::string clip = card1 + "/clip.aac";
    page->OnMessage(Message{kDurationReady, 0, 3725, clip});
    EXPECT_EQ(page->CellText(0, 1), "01:02:05");
    EXPECT_TRUE(page->Item(0).flags & kInfoRead);
    page->OnMessage(Message{kDurationReady, 0, 9, card1 + "/CLIP.aac"});
    EXPECT_EQ(page->Item(0).length, 3725u);
}

TEST_F(PageFixture, UnknownLengthsAreProbedInTheBackground) {
    WriteFile(card1 + "/a.aac", std::string(2048, 'a'));
    WriteFile(card1 + "/b.aac", std::string(2048, 'b'));
    test::FakeEngine engine;
    engine.aacMilliseconds[card1 + "/a.aac"] = 61500;
    QueueMessageTarget target([this](const Message& m) { return page->OnMessage(m) ? 1 : 0; });
    DevicePageServices s;
    s.manager = &usb.manager;
    s.probeTarget = &target;
    s.probeEngine = &engine;
    page = std::make_unique<MobileDevicePage>(s);
    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    page->RefreshDevices(0);
    WaitForDurationProbes();
    target.Pump();
    EXPECT_EQ(page->CellText(0, 1), "01:01");
    EXPECT_EQ(page->CellText(1, 1), "??:??");
    CancelDurationProbes(&target);
}

TEST_F(PageFixture, TheContextMenuGreysWhatCannotBeDone) {
    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    page->RefreshDevices(0);
    auto enabled = [&] {
        std::vector<std::pair<int, bool>> e;
        for (const MenuEntry& m : page->ContextMenu())
            e.emplace_back(m.command, m.enabled);
        return e;
    };
    using E = std::vector<std::pair<int, bool>>;
    // Refresh | Remove, Remove All | Select All, Unselect All.
    EXPECT_EQ(enabled(), (E{{kDevCmdRefresh, true}, {0, true}, {kDevCmdRemove, false}, {kDevCmdRemoveAll, false},
                            {0, true}, {kDevCmdSelectAll, false}, {kDevCmdUnselectAll, false}}));
    WriteFile(card1 + "/a.mp3", std::string(1000, 'a'));
    WriteFile(card1 + "/b.mp3", std::string(1000, 'b'));
    page->ListDeviceContent();
    EXPECT_EQ(enabled(), (E{{kDevCmdRefresh, true}, {0, true}, {kDevCmdRemove, false}, {kDevCmdRemoveAll, true},
                            {0, true}, {kDevCmdSelectAll, true}, {kDevCmdUnselectAll, false}}));
    page->SetRowSelected(1, true);
    EXPECT_EQ(enabled(), (E{{kDevCmdRefresh, true}, {0, true}, {kDevCmdRemove, true}, {kDevCmdRemoveAll, true},
                            {0, true}, {kDevCmdSelectAll, true}, {kDevCmdUnselectAll, true}}));
    page->RunCommand(kDevCmdSelectAll);
    EXPECT_EQ(page->SelectedCount(), 2);
    EXPECT_FALSE(page->SelectAllEnabled());
    page->RunCommand(kDevCmdUnselectAll);
    EXPECT_EQ(page->SelectedCount(), 0);
    EXPECT_EQ(page->ContextMenu()[0].text, "Refresh");
    EXPECT_EQ(page->ContextMenu()[3].text, "Remove All");
}

TEST_F(PageFixture, DeletionAsksAndRemovesTheSelectedFiles) {
    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        WriteFile(card1 + "/" + name, std::string(1000, name[0]));
    page->RefreshDevices(0);
    ASSERT_EQ(page->RowCount(), 4);

    page->RemoveSelected(); // nothing selected: no question
    EXPECT_TRUE(prompt.asked().empty());
    page->SetRowSelected(0, true);
    page->SetRowSelected(2, true);
    prompt.Push(PromptAnswer::No);
    page->RemoveSelected();
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text, "Are you sure?");
    EXPECT_EQ(prompt.asked()[0].icon, PromptIcon::Warning);
    EXPECT_EQ(page->RowCount(), 4);

    // c is read-only: the user keeps it.
    fs::permissions(card1 + "/c.mp3", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    prompt.Push(PromptAnswer::Yes);
    prompt.Push(PromptAnswer::No);
    page->RemoveSelected();
    ASSERT_EQ(prompt.asked().size(), 3u);
    EXPECT_EQ(prompt.asked()[2].text, "The file c is read only\nDo you wish to delete it?");
    EXPECT_EQ(Titles(), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(sleeps, std::vector<int>{100});
    EXPECT_EQ(page->UsedText(), "5120 Kb");

    // Yes to both questions deletes it.
    page->SetRowSelected(1, true);
    prompt.Push(PromptAnswer::Yes);
    prompt.Push(PromptAnswer::Yes);
    page->RemoveSelected();
    EXPECT_EQ(Titles(), (std::vector<std::string>{"b", "d"}));

    // A file that cannot be removed is reported; the rest go on.
    page->SetRowSelected(0, true);
    page->SetRowSelected(1, true);
    fs::remove(card1 + "/b.mp3");
    prompt.Push(PromptAnswer::Yes);
    page->RemoveSelected();
    EXPECT_EQ(prompt.asked().back().text, "Unable to remove b!");
    EXPECT_EQ(prompt.asked().back().icon, PromptIcon::Stop);
    EXPECT_EQ(page->RowCount(), 0);
}

TEST_F(PageFixture, RemoveAllSelectsEveryRowFirst) {
    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    WriteFile(card1 + "/a.mp3", std::string(1000, 'a'));
    WriteFile(card1 + "/b.aac", std::string(1000, 'b'));
    page->RefreshDevices(0);
    page->RunCommand(kDevCmdRemoveAll);
    EXPECT_EQ(page->RowCount(), 0);
    EXPECT_TRUE(fs::is_empty(card1));
}

TEST_F(PageFixture, RefreshesWaitForARunningTransfer) {
    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    page->RefreshDevices(0);
    page->SetTransferRunning(true);
    usb.root.devices.clear();
    page->OnMessage(Message{kMsgRefreshDevices, 0, 0, {}});
    EXPECT_EQ(usb.manager.DeviceCount(), 1); // the worker's table stays
    EXPECT_TRUE(page->DeviceSelected());
    page->SetTransferRunning(false);
    EXPECT_EQ(usb.manager.DeviceCount(), 0);
    EXPECT_EQ(Labels(), std::vector<std::string>{"No Devices Found"});
}

TEST_F(PageFixture, AfterATransferredFileTheSpaceTextsAreInKb) {
    usb.root.Add("Orvik", "Orvik QRX-4", card1);
    page->RefreshDevices(0);
    WriteFile(card1 + "/new.mp3", std::string(1000, 'n'));
    page->OnMessage(Message{kMsgCardChanged, 0, 0, {}});
    EXPECT_EQ(page->UsedText(), "5120 kb");
    EXPECT_EQ(Titles(), std::vector<std::string>{"new"});
    EXPECT_EQ(page->ToolTip(DeviceControl::FreeSpace), "Space available on Mobile Device");
}

} // namespace
} // namespace lyb
