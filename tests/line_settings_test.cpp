#include "capture/line_settings.h"

#include <gtest/gtest.h>

namespace vornel {
namespace {

TEST(SettingsString, IsTheDigitsFollowedByNoParityEightDataBitsOneStopBit) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {300, "300,N,8,1"},
        {600, "600,N,8,1"},
        {1200, "1200,N,8,1"},
        {2400, "2400,N,8,1"},
        {4800, "4800,N,8,1"},
        {9600, "9600,N,8,1"},
        {14400, "14400,N,8,1"},
        {28800, "28800,N,8,1"},
        {33600, "33600,N,8,1"},
        {57600, "57600,N,8,1"},
        {115200, "115200,N,8,1"},
        {0, "0,N,8,1"},
        {-300, "-300,N,8,1"},
        {2147483647, "2147483647,N,8,1"},
        {-2147483647 - 1, "-2147483648,N,8,1"},
    };
    for (const auto& [baud, expected] : cases) {
        EXPECT_EQ(settingsStringFor(baud), expected);
    }
}

TEST(SettingsString, EveryOfferedSpeedIsAccepted) {
    for (std::int32_t baud :
         {300, 600, 1200, 2400, 4800, 9600, 14400, 28800, 33600, 57600, 115200}) {
        const auto parsed = parseLineSettings(settingsStringFor(baud));
        ASSERT_TRUE(parsed.has_value()) << baud;
        EXPECT_EQ(*parsed, (LineSettings{baud, Parity::None, 8, StopBits::One}));
    }
}

TEST(SettingsString, ReadsEveryParityDataBitsAndStopBits) {
    EXPECT_EQ(parseLineSettings("19200,E,7,2"),
              (LineSettings{19200, Parity::Even, 7, StopBits::Two}));
    EXPECT_EQ(parseLineSettings("110,o,5,1.5"),
              (LineSettings{110, Parity::Odd, 5, StopBits::OneAndHalf}));
    EXPECT_EQ(parseLineSettings("250000,M,6,1"),
              (LineSettings{250000, Parity::Mark, 6, StopBits::One}));
    EXPECT_EQ(parseLineSettings("1200,s,8,1"),
              (LineSettings{1200, Parity::Space, 8, StopBits::One}));
}

TEST(SettingsString, RefusesWhatCannotBeApplied) {
    for (const char* bad : {"0,N,8,1",     "-300,N,8,1",
                            " 4800,N,8,1", "4800 ,N,8,1",
                            "4800,N,8,1 ", "+4800,N,8,1",
                            "48k,N,8,1",   "2147483648,N,8,1",
                            "4800,X,8,1",  "4800,NN,8,1",
                            "4800,N,4,1",  "4800,N,9,1",
                            "4800,N,8,3",  "4800,N,8,1.0",
                            "4800,N,8",    "4800,N,8,1,",
                            "4800",        "",
                            ",,,",         "4800;N;8;1"}) {
        EXPECT_FALSE(parseLineSettings(bad).has_value()) << '"' << bad << '"';
    }
}

}  // namespace
}  // namespace vornel
