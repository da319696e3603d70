#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
} // namespace

TEST(AtomicFile, ReplacesKeepingPermissionsAndLeavesNothingBehindOnFailure) {
    fs::path dir = fs::temp_directory_path() / ("lyb-atomic-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "data.ms";
    ASSERT_TRUE(lyb::ReplaceFileAtomically(file.string(), "first"));
    EXPECT_EQ(Slurp(file), "first");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(lyb::ReplaceFileAtomically(file.string(), std::string("se\0cond", 7),
                                           (dir / "data.m~").string()));
    EXPECT_EQ(Slurp(file), std::string("se\0cond", 7));
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A non-empty folder cannot be replaced by a file: it stays, and so does
    // nothing of the attempt.
    const fs::path busy = dir / "busy";
    fs::create_directories(busy / "inner");
    EXPECT_FALSE(lyb::ReplaceFileAtomically(busy.string(), "x"));
    EXPECT_TRUE(fs::is_directory(busy / "inner"));
    EXPECT_FALSE(lyb::ReplaceFileAtomically((dir / "missing" / "f").string(), "x"));
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 2u); // data.ms and busy
    fs::remove_all(dir);
}
