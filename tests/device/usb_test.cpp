// The device library's backends (sysfs, simulated file), the root hub
// diagnostic, and CUSBManager: the device match, the table, the space
// queries and the target file.
#include "device_test_support.h"

#include "outside/usb/usb_backends.h"
#include "platform/prompt.h"
#include "platform/shared_library.h"
#include "platform/trace.h"
#include "platform/usb_hub.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace lyb {
namespace {

namespace fs = std::filesystem;
using test::FakeUsb;
using test::TempDir;

struct TraceLog {
    std::mutex mutex;
    std::vector<std::string> lines;
    TraceLog() {
        SetTraceSink([this](std::string_view t) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.emplace_back(t);
        });
    }
    ~TraceLog() { SetTraceSink({}); }
    bool Has(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
};

void Put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    test::WriteFile(file.string(), text + "\n");
}

// --- Backends --------------------------------------------------------------------

TEST(UsbBackends, SimulatedFileListsConnectedDevicesInOrder) {
    TempDir d;
    fs::create_directories(d / "cards/phone");
    fs::create_directories(d / "other");
    const std::string text = "# demo phones\n"
                             "  Orvik Mobile | Orvik QRX-4 |cards/phone/  \r\n"
                             "\n"
                             "Orvik | Q-TARN 2 | " + d.path() + "/missing\n"   // no card: not connected
                             "Acme | Stick\n"                                   // too few fields
                             "Acme Corp | Stick 8 | " + d.path() + "/other\n";
    const auto devices = usb::ParseSimDevices(text, d.path());
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].manufacturer, "Orvik Mobile");
    EXPECT_EQ(devices[0].product, "Orvik QRX-4");
    EXPECT_EQ(devices[0].mountPoint, d / "cards/phone");
    EXPECT_TRUE(devices[0].storage);
    EXPECT_EQ(devices[0].busName, "sim0");
    EXPECT_EQ(devices[1].manufacturer, "Acme Corp");
    EXPECT_EQ(devices[1].busName, "sim2"); // numbered by line, connected or not
}

TEST(UsbBackends, SysfsFindsMassStorageDevicesWithTheirMountedVolumes) {
    TempDir d;
    const fs::path sys = d.path() + "/sys";
    const fs::path hub = sys / "devices/pci0000:00/0000:00:14.0/usb1";
    const fs::path phone = hub / "1-1";
    const fs::path keyboard = hub / "1-2";
    Put(hub / "idVendor", "1d6b");
    Put(hub / "idProduct", "0002");
    Put(hub / "serial", "0000:00:14.0");
    Put(phone / "idVendor", "0a1b");
    Put(phone / "idProduct", "00c3");
    Put(phone / "manufacturer", "Orvik Mobile");
    Put(phone / "product", "Orvik 6620");
    Put(phone / "1-1:1.0/bInterfaceClass", "08");
    const fs::path disk = phone / "1-1:1.0/host3/target3:0:0/3:0:0:0/block/sdb";
    fs::create_directories(disk / "sdb1");
    fs::create_directories(disk / "sdb2");
    Put(keyboard / "idVendor", "046d");
    Put(keyboard / "idProduct", "c31c");
    Put(keyboard / "product", "Keyboard");
    Put(keyboard / "1-2:1.0/bInterfaceClass", "03");
    const fs::path internal = sys / "devices/pci0000:00/ata1/host0/target0:0:0/0:0:0:0/block/sda";
    fs::create_directories(internal / "sda1");
    fs::create_directories(sys / "bus/usb/devices");
    fs::create_directories(sys / "class/block");
    for (const auto& [name, target] : std::vector<std::pair<std::string, fs::path>>{
             {"usb1", hub}, {"1-1", phone}, {"1-1:1.0", phone / "1-1:1.0"}, {"1-2", keyboard}})
        fs::create_directory_symlink(target, sys / "bus/usb/devices" / name);
    for (const auto& [name, target] : std::vector<std::pair<std::string, fs::path>>{
             {"sdb", disk}, {"sdb1", disk / "sdb1"}, {"sdb2", disk / "sdb2"}, {"sda", internal},
             {"sda1", internal / "sda1"}})
        fs::create_directory_symlink(target, sys / "class/block" / name);

    const std::string mounts = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                               "40 22 8:17 / /media/u/CARD\\040A rw,nosuid shared:5 - vfat /dev/sdb1 rw\n"
                               "41 22 8:18 / /media/u/PHONE rw,nosuid shared:6 - vfat /dev/sdb2 rw\n";
    const auto devices = usb::ListSysfsDevices(sys.string(), mounts);
    // usb1 (the root hub), the phone once per mounted volume, the keyboard.
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].busName, "1-1");
    EXPECT_EQ(devices[0].manufacturer, "Orvik Mobile");
    EXPECT_EQ(devices[0].product, "Orvik 6620");
    EXPECT_EQ(devices[0].vendorId, 0x0a1bu);
    EXPECT_EQ(devices[0].productId, 0x00c3u);
    EXPECT_TRUE(devices[0].storage);
    EXPECT_EQ(devices[0].mountPoint, "/media/u/CARD A");
    EXPECT_EQ(devices[1].mountPoint, "/media/u/PHONE");
    EXPECT_EQ(devices[2].busName, "1-2");
    EXPECT_FALSE(devices[2].storage);
    EXPECT_EQ(devices[2].mountPoint, "");
    EXPECT_EQ(devices[3].busName, "usb1");
    EXPECT_EQ(devices[3].mountPoint, "");

    // The root hub diagnostic asks the same tree.
    EXPECT_EQ(UsbRootHubName(sys.string()), "usb1 1d6b:0002 0000:00:14.0");
    EXPECT_EQ(UsbRootHubName(d / "nothing"), "");
}

// --- The device match -------------------------------------------------------------

TEST(UsbManager, MatchesMakerAndModelWordsInUpperCaseAndKeepsTheLibrarysOrder) {
    TraceLog trace;
    FakeUsb usb;
    usb.root.Add("orvik mobile phones", "qrx-4 classic", "/media/a");  // lower-case words match
    usb.root.Add("Orvik", "Orvik Music Phone", "/media/b");            // no model word: not listed
    usb.root.Add("ACME", "Q-TARN", "/media/c");                        // not the maker
    usb.root.Add("Orvik", "6620", "/media/d", 0);                      // not a storage device
    usb.root.Add("Orvik", "6620", "");                                 // no volume
    usb.root.Add("ORVIK", "The Q-TARN", "/media/e/");
    EXPECT_EQ(usb.manager.EnumerateDevices(), 2);
    const auto devices = usb.manager.Devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].manufacturer, "orvik mobile phones");
    EXPECT_EQ(devices[0].product, "qrx-4 classic");
    EXPECT_EQ(devices[0].rootPath, "/media/a/");
    EXPECT_EQ(devices[0].classCode, 8u);
    EXPECT_EQ(devices[0].deviceHandle, 0u);
    EXPECT_EQ(devices[1].product, "The Q-TARN");
    EXPECT_EQ(devices[1].rootPath, "/media/e/");
    // The root's slots with their arguments in order: (0, filter), (enum, 0).
    EXPECT_EQ(usb.root.calls, (std::vector<std::string>{"filter:0:1", "enum:0"}));
    EXPECT_TRUE(trace.Has("generic usb enumeration started"));
    EXPECT_TRUE(trace.Has("Found device Vid ORVIK MOBILE PHONES, Pid QRX-4 CLASSIC"));
    EXPECT_EQ(DeviceFilterProc(0, 0), 1);

    // A new enumeration replaces the table.
    usb.root.devices.erase(usb.root.devices.begin());
    EXPECT_EQ(usb.manager.EnumerateDevices(), 1);
    EXPECT_EQ(usb.manager.Device(0).product, "The Q-TARN");
    EXPECT_EQ(usb.manager.Device(1).product, ""); // outside the table
}

TEST(UsbManager, WithoutTheDeviceLibraryNothingIsFoundAndTheOldTableStays) {
    TraceLog trace;
    FakeUsb usb;
    usb.root.Add("Orvik", "QRX-4", "/media/a");
    ASSERT_EQ(usb.manager.EnumerateDevices(), 1);
    usb.slot = nullptr;
    EXPECT_EQ(usb.manager.EnumerateDevices(), 0);
    EXPECT_TRUE(trace.Has("IUSBRoot not initialized"));
    EXPECT_EQ(usb.manager.DeviceCount(), 1);
    CUSBManager none("/nonexistent");
    EXPECT_EQ(none.EnumerateDevices(), 0);
    EXPECT_FALSE(none.IadiLoaded());
}

TEST(UsbManager, SpaceInKilobytesByMode) {
    FakeUsb usb;
    usb.root.Add("Orvik", "QRX-4", "/media/a");
    usb.manager.EnumerateDevices();
    usb.totalBytes = 10 * 1024 * 1024 + 1023;
    usb.freeBytes = 3 * 1024 * 1024 + 512;
    EXPECT_EQ(usb.manager.GetDeviceSpaceKB(0, kSpaceTotal), 10240u);
    EXPECT_EQ(usb.manager.GetDeviceSpaceKB(0, kSpaceFree), 3072u);
    EXPECT_EQ(usb.manager.GetDeviceSpaceKB(0, kSpaceUsed), 7168u);
    EXPECT_EQ(usb.manager.GetDeviceSpaceKB(0, 3), 0u);
    EXPECT_EQ(usb.manager.GetDeviceSpaceKB(-1, kSpaceFree), 0u);
    EXPECT_EQ(usb.manager.GetDeviceSpaceKB(1, kSpaceFree), 0u);
    usb.freeBytes = usb.totalBytes + 4096; // never a negative used space
    EXPECT_EQ(usb.manager.GetDeviceSpaceKB(0, kSpaceUsed), 0u);
    usb.spaceFails = true;
    EXPECT_EQ(usb.manager.GetDeviceSpaceKB(0, kSpaceTotal), 0u);
}

TEST(UsbManager, TargetFileIsCreatedOnTheSelectedCardAndAsksBeforeOverwriting) {
    TempDir card;
    FakeUsb usb;
    ScriptedPrompt prompt;
    usb.manager.SetPrompt(&prompt, nullptr);
    usb.root.Add("Orvik", "QRX-4", card.path());
    usb.manager.EnumerateDevices();
    EXPECT_EQ(usb.manager.CreateTargetFile("a.mp3"), 0); // no device selected
    usb.manager.SetSelectedDevice(0);

    // A new file appears under its name only when it is complete.
    ASSERT_EQ(usb.manager.CreateTargetFile("a.mp3"), 1);
    EXPECT_EQ(usb.manager.TargetPath(), card / "a.mp3");
    EXPECT_FALSE(fs::exists(card / "a.mp3"));
    EXPECT_EQ(usb.manager.WriteTarget("new", 3), 3);
    EXPECT_TRUE(usb.manager.CommitTargetFile());
    EXPECT_EQ(test::ReadFile(card / "a.mp3"), "new");
    EXPECT_TRUE(prompt.asked().empty());

    // Declined: -1, the card's file untouched.
    prompt.Push(PromptAnswer::No);
    EXPECT_EQ(usb.manager.CreateTargetFile("a.mp3"), -1);
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text, "File " + (card / "a.mp3") + " already exists\nDo you want to overwrite it?");
    EXPECT_EQ(prompt.asked()[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompt.asked()[0].icon, PromptIcon::Question);
    EXPECT_EQ(test::ReadFile(card / "a.mp3"), "new");

    // Accepted, then discarded: the old file is still there, nothing else is.
    prompt.Push(PromptAnswer::Yes);
    ASSERT_EQ(usb.manager.CreateTargetFile("a.mp3"), 1);
    EXPECT_EQ(usb.manager.WriteTarget("half", 4), 4);
    EXPECT_FALSE(usb.manager.DiscardTargetFile(usb.manager.TargetFileHandle() + 1)); // not the target's handle
    EXPECT_TRUE(usb.manager.DiscardTargetFile(usb.manager.TargetFileHandle()));
    EXPECT_EQ(usb.manager.TargetFileHandle(), -1);
    EXPECT_EQ(test::ReadFile(card / "a.mp3"), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(card.path()), fs::directory_iterator()), 1);

    // Accepted and committed: replaced.
    prompt.Push(PromptAnswer::Yes);
    ASSERT_EQ(usb.manager.CreateTargetFile("a.mp3"), 1);
    usb.manager.WriteTarget("newer", 5);
    EXPECT_TRUE(usb.manager.CommitTargetFile());
    EXPECT_EQ(test::ReadFile(card / "a.mp3"), "newer");

    // Only bare names: nothing lands outside the card's root folder.
    for (const char* bad : {"../escape.mp3", "sub/x.mp3", "", ".", ".."})
        EXPECT_EQ(usb.manager.CreateTargetFile(bad), 0) << bad;
    fs::create_directory(card / "folder.mp3");
    EXPECT_EQ(usb.manager.CreateTargetFile("folder.mp3"), 0);
}

TEST(UsbManager, AWriteToARemovedCardReportsTheCardGone) {
    TempDir d;
    const std::string card = d / "card";
    fs::create_directory(card);
    FakeUsb usb;
    usb.root.Add("Orvik", "QRX-4", card);
    usb.manager.EnumerateDevices();
    usb.manager.SetSelectedDevice(0);
    EXPECT_TRUE(usb.manager.CardPresent(0));
    ASSERT_EQ(usb.manager.CreateTargetFile("a.mp3"), 1);
    fs::remove_all(card);
    EXPECT_EQ(usb.manager.WriteTarget("x", 1), -101);
    EXPECT_FALSE(usb.manager.CardPresent(0));
    EXPECT_FALSE(usb.manager.CommitTargetFile());
}

TEST(UsbManager, ReleaseEmptiesTheTableAndTracesOnce) {
    TraceLog trace;
    FakeUsb usb;
    usb.root.Add("Orvik", "QRX-4", "/media/a");
    usb.manager.EnumerateDevices();
    usb.manager.TraceOsVersion();
    char expected[32];
    std::snprintf(expected, sizeof expected, "OS version 0x%x", usb.manager.VersionWord());
    EXPECT_TRUE(trace.Has(expected));
    usb.manager.Release();
    EXPECT_EQ(usb.manager.DeviceCount(), 0);
    EXPECT_TRUE(trace.Has("USB manager closed successfuly"));
}

TEST(UsbManager, LoadsTheIadiLibraryAndResolvesItsTable) {
    TraceLog trace;
    TempDir folder;
    fs::copy_file(IADI_DOUBLE, folder / kIadiLibraryFile);
    CUSBManager usb(folder.path());
    EXPECT_TRUE(usb.IadiLoaded());
    EXPECT_TRUE(trace.Has("IADI initialized successfully"));
    EXPECT_NE(usb.Iadi().closeDevice, nullptr);
    EXPECT_NE(usb.Iadi().enumDevices, nullptr);
    EXPECT_EQ(usb.Iadi().controlTransfer, nullptr); // not exported by the double
}

// --- The device library itself, over the simulated file ---------------------------

TEST(UsbPlugin, ReportsTheSimulatedPhonesThroughItsExport) {
    TempDir d;
    fs::create_directories(d / "card1");
    fs::create_directories(d / "card2");
    test::WriteFile(d / "phones.txt", "Orvik | Orvik QRX-4 | card1\nOrvik | Orvik 6620 | card2\nAcme | Stick | card2\n");
    ::setenv(kSimUsbEnvironment, (d / "phones.txt").c_str(), 1);
    SharedLibrary lib;
    ASSERT_TRUE(lib.Open(USB_PLUGIN)) << lib.Error();
    auto create = reinterpret_cast<int (*)(void**)>(lib.Symbol("ORVIKCreateInstance"));
    ASSERT_NE(create, nullptr);
    void* slot = nullptr;
    ASSERT_EQ(create(&slot), 0);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(static_cast<IUSBRoot*>(slot)->Backend(), 1);
    {
        CUSBManager usb("/nonexistent");
        usb.SetRootSlot(&slot);
        ASSERT_EQ(usb.EnumerateDevices(), 2);
        EXPECT_EQ(usb.Device(0).product, "Orvik QRX-4");
        EXPECT_EQ(usb.Device(0).rootPath, d / "card1/");
        EXPECT_EQ(usb.Device(1).product, "Orvik 6620");
        EXPECT_EQ(static_cast<IUSBRoot*>(slot)->LastCount(), 3);
        // Taking a card out unplugs its phone.
        fs::remove_all(d / "card1");
        ASSERT_EQ(usb.EnumerateDevices(), 1);
        EXPECT_EQ(usb.Device(0).product, "Orvik 6620");
    }
    ::unsetenv(kSimUsbEnvironment);
}

} // namespace
} // namespace lyb
