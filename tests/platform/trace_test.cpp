#include "platform/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace lyb;

TEST(Trace, DisabledByDefaultAndFormatsWhenOn) {
    SetTraceSink({});
    EXPECT_FALSE(TraceEnabled());
    Trace("dropped");
    std::vector<std::string> got;
    SetTraceSink([&](std::string_view t) { got.emplace_back(t); });
    EXPECT_TRUE(TraceEnabled());
    Trace("Player initialization");
    TraceFormat("OS version 0x%x", 0x501u);
    std::string longText(2000, 'x');
    TraceFormat("%s", longText.c_str());
    SetTraceSink({});
    Trace("after");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "Player initialization");
    EXPECT_EQ(got[1], "OS version 0x501");
    EXPECT_EQ(got[2], longText);
}
