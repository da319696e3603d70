#include "platform/linux/file_registry.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace lyb;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string TempFolder(const char* tag) {
    std::string tmpl = testing::TempDir() + "reg_" + tag + "_XXXXXX";
    char* made = ::mkdtemp(tmpl.data());
    return made ? std::string(made) : std::string();
}

// The same behaviour for both stores.
class RegistryBehaviour : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            m_folder = TempFolder("b");
            m_store = std::make_shared<FileRegistryStore>(m_folder, true);
        } else {
            m_store = std::make_shared<MemoryRegistryStore>();
        }
        m_reg = std::make_shared<Registry>(m_store);
    }
    void TearDown() override {
        if (!m_folder.empty())
            fs::remove_all(m_folder);
    }
    std::string m_folder;
    std::shared_ptr<RegistryStore> m_store;
    std::shared_ptr<Registry> m_reg;
};

TEST_P(RegistryBehaviour, CreateWriteReadTypedValues) {
    RegKey key;
    bool created = false;
    ASSERT_EQ(m_reg->CreateKey(Hive::CurrentUser, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Full,
                               key, &created),
              RegStatus::Ok);
    EXPECT_TRUE(created);
    EXPECT_EQ(key.SetString("Default Music Folder", "/home/u/Music \"quoted\" \\ back"), RegStatus::Ok);
    EXPECT_EQ(key.SetDword("Bitrate", 128000), RegStatus::Ok);
    EXPECT_EQ(key.SetBinary("Blob", {0, 1, 0xFF}), RegStatus::Ok);
    EXPECT_EQ(key.SetString("", "default value\nsecond line"), RegStatus::Ok);

    RegKey again;
    ASSERT_EQ(m_reg->OpenKey(Hive::CurrentUser, "software\\orvik\\LYRABOX 3.0", RegAccess::Read, again),
              RegStatus::Ok);
    std::string s;
    std::uint32_t d = 0;
    std::vector<std::uint8_t> b;
    EXPECT_EQ(again.QueryString("default music folder", s), RegStatus::Ok);
    EXPECT_EQ(s, "/home/u/Music \"quoted\" \\ back");
    EXPECT_EQ(again.QueryDword("Bitrate", d), RegStatus::Ok);
    EXPECT_EQ(d, 128000u);
    EXPECT_EQ(again.QueryBinary("Blob", b), RegStatus::Ok);
    EXPECT_EQ(b, (std::vector<std::uint8_t>{0, 1, 0xFF}));
    EXPECT_EQ(again.QueryString("", s), RegStatus::Ok);
    EXPECT_EQ(s, "default value\nsecond line");
    EXPECT_EQ(again.QueryDword("Default Music Folder", d), RegStatus::WrongType);
    EXPECT_EQ(again.QueryString("Missing", s), RegStatus::NotFound);
    // Read access cannot write.
    EXPECT_EQ(again.SetDword("Bitrate", 1), RegStatus::AccessDenied);
    // Parents exist and list their children.
    EXPECT_TRUE(m_reg->KeyExists(Hive::CurrentUser, "SOFTWARE\\Orvik"));
    EXPECT_EQ(m_reg->SubKeys(Hive::CurrentUser, "SOFTWARE\\Orvik"),
              std::vector<std::string>{"Lyrabox 3.0"});
    // Hives are separate.
    EXPECT_FALSE(m_reg->KeyExists(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0"));
}

TEST_P(RegistryBehaviour, TextLimitCountsTheTerminator) {
    RegKey key;
    ASSERT_EQ(m_reg->CreateKey(Hive::CurrentUser, "K", RegAccess::Full, key), RegStatus::Ok);
    key.SetString("col", std::string(99, '1'));
    key.SetString("col2", std::string(100, '1'));
    std::string out = "unchanged";
    EXPECT_EQ(key.QueryString("col", out, 100), RegStatus::Ok);
    EXPECT_EQ(out.size(), 99u);
    out = "unchanged";
    EXPECT_EQ(key.QueryString("col2", out, 100), RegStatus::MoreData);
    EXPECT_EQ(out, "unchanged");
}

TEST_P(RegistryBehaviour, DeleteValueAndKey) {
    RegKey key;
    ASSERT_EQ(m_reg->CreateKey(Hive::ClassesRoot, ".mp3\\sub", RegAccess::Full, key), RegStatus::Ok);
    key.SetString("a", "1");
    EXPECT_EQ(key.DeleteValue("A"), RegStatus::Ok);
    EXPECT_EQ(key.DeleteValue("A"), RegStatus::NotFound);
    EXPECT_EQ(m_reg->DeleteKey(Hive::ClassesRoot, ".mp3"), RegStatus::Ok);
    EXPECT_FALSE(m_reg->KeyExists(Hive::ClassesRoot, ".mp3\\sub"));
    EXPECT_EQ(m_reg->OpenKey(Hive::ClassesRoot, "", RegAccess::Read, key), RegStatus::BadName);
}

INSTANTIATE_TEST_SUITE_P(Stores, RegistryBehaviour, testing::Values(false, true),
                         [](const auto& p) { return p.param ? "File" : "Memory"; });

TEST(FileRegistry, ReadOnlyMachineHiveRefusesWrites) {
    const std::string dir = TempFolder("ro");
    {
        Registry writer(std::make_shared<FileRegistryStore>(dir, true));
        RegKey k;
        ASSERT_EQ(writer.CreateKey(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Full, k),
                  RegStatus::Ok);
        k.SetString("pth", "/opt/lyrabox");
    }
    Registry reader(std::make_shared<FileRegistryStore>(dir, false));
    RegKey k;
    EXPECT_EQ(reader.OpenKey(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Write, k),
              RegStatus::AccessDenied);
    ASSERT_EQ(reader.OpenKey(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Read, k),
              RegStatus::Ok);
    std::string pth;
    EXPECT_EQ(k.QueryString("pth", pth), RegStatus::Ok);
    EXPECT_EQ(pth, "/opt/lyrabox");
    RegKey n;
    EXPECT_EQ(reader.CreateKey(Hive::LocalMachine, "New", RegAccess::Full, n), RegStatus::AccessDenied);
    fs::remove_all(dir);
}

TEST(FileRegistry, APackagedMachineHiveIsReadFromItsOwnFileAndNeverWritten) {
    const std::string dir = TempFolder("pkg");
    const std::string packaged = dir + "/machine-packaged.reg";
    std::ofstream(packaged) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvik\\Lyrabox 3.0]\n"
                               "\"pth\"=\"/usr/lib/lyrabox\"\n";
    auto store = std::make_shared<FileRegistryStore>(dir + "/user", true);
    store->SetMachineFile(packaged);
    Registry reg(store);
    RegKey k;
    ASSERT_EQ(reg.OpenKey(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Read, k), RegStatus::Ok);
    std::string pth;
    EXPECT_EQ(k.QueryString("pth", pth), RegStatus::Ok);
    EXPECT_EQ(pth, "/usr/lib/lyrabox");
    EXPECT_FALSE(reg.Writable(Hive::LocalMachine));
    RegKey w;
    EXPECT_EQ(reg.CreateKey(Hive::LocalMachine, "SOFTWARE\\Other", RegAccess::Full, w), RegStatus::AccessDenied);
    // The user's own values still live in the user's folder.
    ASSERT_EQ(reg.CreateKey(Hive::CurrentUser, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Full, w), RegStatus::Ok);
    EXPECT_TRUE(fs::exists(dir + "/user/user.reg"));
    EXPECT_FALSE(fs::exists(dir + "/user/machine.reg"));
    fs::remove_all(dir);
}

TEST(FileRegistry, FileIsReadableTextAndSeesOtherWriters) {
    const std::string dir = TempFolder("txt");
    Registry a(std::make_shared<FileRegistryStore>(dir, true));
    Registry b(std::make_shared<FileRegistryStore>(dir, true));
    RegKey ka, kb;
    ASSERT_EQ(a.CreateKey(Hive::CurrentUser, "SOFTWARE\\X", RegAccess::Full, ka), RegStatus::Ok);
    ka.SetDword("n", 0x1f400);
    ASSERT_EQ(b.OpenKey(Hive::CurrentUser, "SOFTWARE\\X", RegAccess::Full, kb), RegStatus::Ok);
    kb.SetString("s", "v");
    std::string s;
    EXPECT_EQ(ka.QueryString("s", s), RegStatus::Ok); // a sees b's write through the file
    std::ifstream in(dir + "/user.reg");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE]\n\n[HKEY_CURRENT_USER\\SOFTWARE\\X]\n"
                    "\"n\"=dword:0001f400\n\"s\"=\"v\"\n");
    // No temporary file is left behind.
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos);
    fs::remove_all(dir);
}

TEST(FileRegistry, TwoProcessesWritingAtOnceKeepEveryValue) {
    const std::string dir = TempFolder("mp");
    constexpr int kEach = 60;
    pid_t kids[2];
    for (int p = 0; p < 2; ++p) {
        kids[p] = ::fork();
        ASSERT_GE(kids[p], 0);
        if (kids[p] == 0) {
            Registry r(std::make_shared<FileRegistryStore>(dir, true));
            RegKey k;
            if (r.CreateKey(Hive::CurrentUser, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Full, k) !=
                RegStatus::Ok)
                ::_exit(2);
            for (int i = 0; i < kEach; ++i)
                if (k.SetDword("p" + std::to_string(p) + "_" + std::to_string(i),
                               static_cast<std::uint32_t>(i)) != RegStatus::Ok)
                    ::_exit(3);
            ::_exit(0);
        }
    }
    for (pid_t kid : kids) {
        int status = 0;
        ASSERT_EQ(::waitpid(kid, &status, 0), kid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    Registry r(std::make_shared<FileRegistryStore>(dir, true));
    RegKey k;
    ASSERT_EQ(r.OpenKey(Hive::CurrentUser, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Read, k),
              RegStatus::Ok);
    EXPECT_EQ(k.ValueNames().size(), 2u * kEach);
    fs::remove_all(dir);
}

TEST(FileRegistry, DefaultFolderFollowsTheEnvironment) {
    ::setenv("LYB30_REGISTRY_DIR", "/some/where", 1);
    EXPECT_EQ(DefaultRegistryFolder(), "/some/where");
    ::unsetenv("LYB30_REGISTRY_DIR");
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(DefaultRegistryFolder(), "/xdg/lyrabox");
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(HiveText, ParsesTolerantlyAndRoundTrips) {
    const char* text =
        "REGEDIT4\r\n"
        "\r\n"
        "; comment\r\n"
        "\"orphan\"=\"no section\"\r\n"
        "[HKEY_CLASSES_ROOT\\.mp3]\r\n"
        "@=\"LYB.File\"\r\n"
        "\"LYB30_Back\"=\"mp3file\"\r\n"
        "\"bad\"=dword:12\r\n"
        "\"hex\"=hex:0a,0B\r\n"
        "\"esc\"=\"a\\x01b\\n\"\r\n"
        "[HKEY_CURRENT_USER\\Other]\r\n"
        "\"x\"=\"in another hive\"\r\n"
        "[broken\r\n";
    int skipped = 0;
    HiveData d = ParseHive(Hive::ClassesRoot, text, &skipped);
    EXPECT_EQ(skipped, 5); // comment, orphan, other hive's section + its value, broken section
    ASSERT_EQ(d.keys.size(), 1u);
    const auto& v = d.keys.begin()->second.values;
    EXPECT_EQ(v.at("").text, "LYB.File");
    EXPECT_EQ(v.at("lyb30_back").text, "mp3file");
    EXPECT_EQ(v.at("hex").binary, (std::vector<std::uint8_t>{0x0a, 0x0b}));
    EXPECT_EQ(v.at("esc").text, std::string("a\x01" "b\n"));
    EXPECT_EQ(v.at("bad").dword, 0x12u); // fewer than eight digits, as people write them
    EXPECT_EQ(ParseHive(Hive::ClassesRoot, FormatHive(Hive::ClassesRoot, d)), d);

    // Lines kept as they are end at the last character that is not a line
    // end: stray carriage returns (a file edited on two systems) would
    // otherwise change the kept lines on every rewrite.
    for (const char* odd : {"REGEDIT4\r\r\nkept\r\r\n[HKEY_CLASSES_ROOT\\k]\r\nnot a value\r\r\r\n\r\r\n",
                            "\r\r\n[other]\r\r\n\r\n"}) {
        const HiveData first = ParseHive(Hive::ClassesRoot, odd);
        EXPECT_EQ(ParseHive(Hive::ClassesRoot, FormatHive(Hive::ClassesRoot, first)), first) << odd;
    }
}

// A rewrite used to keep only what the parser understood: another
// program's values and hand-written lines vanished, and a hive that could
// not be read at all was replaced by an empty one.
TEST(FileRegistry, ARewriteKeepsEveryLineItDoesNotUnderstand) {
    const std::string folder = TempFolder("keep");
    const char* data = std::getenv("LYB_TEST_DATA");
    ASSERT_NE(data, nullptr);
    std::ifstream in(std::string(data) + "/platform/registry/rewrite-dropped-foreign-lines.reg",
                     std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(original.empty());
    { std::ofstream(folder + "/user.reg", std::ios::binary) << original; }
    Registry reg(std::make_shared<FileRegistryStore>(folder, true));
    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Full, key),
              RegStatus::Ok);
    std::uint32_t d = 0;
    EXPECT_EQ(key.QueryDword("Hand written", d), RegStatus::Ok);
    EXPECT_EQ(d, 2u);
    ASSERT_EQ(key.SetDword("Bitrate", 256000), RegStatus::Ok);
    // A value of a type we do not know is replaced only when we set it.
    ASSERT_EQ(key.SetString("Replaced", "ours"), RegStatus::Ok);
    const std::string after = ReadText(folder + "/user.reg");
    for (const char* line :
         {"; written by hand\n", "\"Path\"=hex(2):25,00,48,00,00,00\n", "\"Multi\"=hex(7):61,00,00,\\\n",
          "  00,00\n", "\"Hand written\"=dword:00000002\n", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Elsewhere]\n",
          "\"Other\"=\"program\"\n", "\"Bitrate\"=dword:0003e800\n", "\"Replaced\"=\"ours\"\n",
          "[HKEY_CURRENT_USER\\SOFTWARE\\Another]\n", "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"})
        EXPECT_NE(after.find(line), std::string::npos) << line << "\n" << after;
    EXPECT_EQ(after.find("hex(b):ff"), std::string::npos) << after;
    EXPECT_FALSE(fs::exists(folder + "/user.reg.bad"));

    // A file that is not a hive at all is kept beside the new one.
    const std::string garbage("\xFF\xFEW\0i\0n\0d\0o\0w\0s\0", 16);
    { std::ofstream(folder + "/classes.reg", std::ios::binary) << garbage; }
    RegKey cls;
    ASSERT_EQ(reg.CreateKey(Hive::ClassesRoot, ".mp3", RegAccess::Full, cls), RegStatus::Ok);
    EXPECT_EQ(ReadText(folder + "/classes.reg.bad"), garbage);
    EXPECT_NE(ReadText(folder + "/classes.reg").find("[HKEY_CLASSES_ROOT\\.mp3]"), std::string::npos);
    // A second bad file never replaces the first copy.
    { std::ofstream(folder + "/classes.reg", std::ios::binary) << "junk\0"; }
    ASSERT_EQ(cls.SetString("", "x"), RegStatus::Ok);
    EXPECT_EQ(ReadText(folder + "/classes.reg.bad"), garbage);
    size_t copies = 0;
    for (const auto& e : fs::directory_iterator(folder))
        copies += e.path().filename().string().rfind("classes.reg.bad", 0) == 0;
    EXPECT_EQ(copies, 2u);
    fs::remove_all(folder);
}

// Each value used to be one rewrite of the whole hive (and one fsync).
TEST(Registry, SeveralValuesAreOneChangeOfTheStore) {
    class Counting final : public RegistryStore {
    public:
        RegStatus Read(Hive hive, HiveData& out) override { return inner.Read(hive, out); }
        RegStatus Modify(Hive hive, const std::function<bool(HiveData&)>& change) override {
            return inner.Modify(hive, [&](HiveData& d) {
                const bool stored = change(d);
                stores += stored;
                return stored;
            });
        }
        bool Writable(Hive hive) const override { return inner.Writable(hive); }
        MemoryRegistryStore inner;
        int stores = 0;
    };
    auto store = std::make_shared<Counting>();
    Registry reg(store);
    ASSERT_EQ(reg.SetValues(Hive::CurrentUser, "A\\B",
                            {{"one", RegValue::Dword(1)}, {"two", RegValue::Sz("2")}, {"", RegValue::Sz("d")}}),
              RegStatus::Ok);
    EXPECT_EQ(store->stores, 1);
    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, "a\\b", RegAccess::Read, key), RegStatus::Ok);
    std::string two;
    EXPECT_EQ(key.QueryString("two", two), RegStatus::Ok);
    EXPECT_EQ(two, "2");
    // Nothing changed: nothing is stored.
    ASSERT_EQ(reg.SetValues(Hive::CurrentUser, "A\\B", {{"one", RegValue::Dword(1)}}), RegStatus::Ok);
    EXPECT_EQ(store->stores, 1);
    store->inner.SetWritable(Hive::LocalMachine, false);
    EXPECT_EQ(reg.SetValues(Hive::LocalMachine, "A", {{"x", RegValue::Dword(1)}}), RegStatus::AccessDenied);
}

} // namespace
