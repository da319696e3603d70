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

// The temporary file used to be opened with O_TRUNC at a predictable name:
// a link planted there made the replacement write through it, and a file of
// that name was overwritten. A link at the file itself was replaced by a
// plain file, so a dotfile manager lost its link.
TEST(AtomicFile, TemporaryFilesAreNewAndLinksAreFollowed) {
    fs::path dir = fs::temp_directory_path() / ("lyb-atomic-x-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "dotfiles");
    const fs::path victim = dir / "victim";
    { std::ofstream(victim) << "victim"; }
    const fs::path file = dir / "user.reg";
    fs::create_symlink(victim, dir / ("user.reg.tmp." + std::to_string(::getpid())));
    { std::ofstream(dir / "user.re~") << "a user's own file"; }
    ASSERT_TRUE(lyb::ReplaceFileAtomically(file.string(), "one"));
    ASSERT_TRUE(lyb::ReplaceFileAtomically(file.string(), "two", (dir / "user.re~").string()));
    EXPECT_EQ(Slurp(file), "two");
    EXPECT_EQ(Slurp(victim), "victim");
    EXPECT_EQ(Slurp(dir / "user.re~"), "a user's own file");
    EXPECT_TRUE(fs::is_symlink(dir / ("user.reg.tmp." + std::to_string(::getpid()))));

    // A link (relative, through a second link) is followed; the links stay.
    { std::ofstream(dir / "dotfiles/mimeapps.list") << "old"; }
    ::chmod((dir / "dotfiles/mimeapps.list").c_str(), 0600);
    fs::create_symlink("dotfiles/mimeapps.list", dir / "middle");
    fs::create_symlink("middle", dir / "mimeapps.list");
    ASSERT_TRUE(lyb::ReplaceFileAtomically((dir / "mimeapps.list").string(), "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "mimeapps.list"));
    EXPECT_TRUE(fs::is_symlink(dir / "middle"));
    EXPECT_EQ(Slurp(dir / "dotfiles/mimeapps.list"), "new");
    struct stat st;
    ASSERT_EQ(::stat((dir / "dotfiles/mimeapps.list").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(lyb::FollowLinks((dir / "mimeapps.list").string()),
              (dir / "dotfiles/mimeapps.list").string());
    // A link to a file that does not exist yet: the file is made there.
    fs::create_symlink("dotfiles/later.list", dir / "later.list");
    ASSERT_TRUE(lyb::ReplaceFileAtomically((dir / "later.list").string(), "made"));
    EXPECT_TRUE(fs::is_symlink(dir / "later.list"));
    EXPECT_EQ(Slurp(dir / "dotfiles/later.list"), "made");
    // A loop of links is not followed forever; nothing is written.
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_FALSE(lyb::ReplaceFileAtomically((dir / "loop-a").string(), "x"));
    fs::remove_all(dir);
}
