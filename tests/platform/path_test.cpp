#include "platform/path.h"

#include <gtest/gtest.h>

using namespace lyb;

TEST(Path, SplitsCdTracksFilesAndOddNames) {
    PathParts cd = SplitPath("/dev/sr0/Track05.cda");
    EXPECT_EQ(cd.drive, "/dev/sr0");
    EXPECT_EQ(cd.dir, "/");
    EXPECT_EQ(cd.name, "Track05");
    EXPECT_EQ(cd.ext, ".cda");
    EXPECT_TRUE(IsDeviceDrive("/dev/sr0"));
    EXPECT_FALSE(IsDeviceDrive("/dev/sr0/Track05.cda"));
    EXPECT_EQ(SplitPath("/dev/sr1").drive, "/dev/sr1");

    PathParts f = SplitPath("/home/a/Music/x.y/Song.name.MP3");
    EXPECT_EQ(f.drive, "");
    EXPECT_EQ(f.dir, "/home/a/Music/x.y/");
    EXPECT_EQ(f.name, "Song.name");
    EXPECT_EQ(f.ext, ".MP3");
    EXPECT_EQ(SplitPath(".hidden").name, ".hidden");
    EXPECT_EQ(SplitPath("noext").ext, "");
    for (const char* p : {"/dev/sr0/Track05.cda", "/a/b.c", "", "/", "rel/x.", "/dev/", "/dev/sr0"})
        EXPECT_EQ(MakePath(SplitPath(p)), p) << p;
}

TEST(Path, RelativePathsBecomeAbsolute) {
    EXPECT_EQ(AbsolutePath("a.mp3", "/home/u"), "/home/u/a.mp3");
    EXPECT_EQ(AbsolutePath("./x//y/./a.mp3", "/home/u/"), "/home/u/x/y/a.mp3");
    EXPECT_EQ(AbsolutePath("../b/", "/m"), "/m/../b/"); // ".." stays: links decide
    EXPECT_EQ(AbsolutePath("/abs//kept/./as is", "/x"), "/abs//kept/./as is");
    EXPECT_EQ(AbsolutePath("", "/x"), "");
    EXPECT_EQ(AbsolutePath("caf\xE9.mp3", "/"), "/caf\xE9.mp3");
    const std::string here = AbsolutePath("z");
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(here.front(), '/');
    EXPECT_EQ(here.substr(here.size() - 2), "/z");
}
