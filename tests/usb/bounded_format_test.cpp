// Bounded formatting as the status line and the about box use it.
#include <gtest/gtest.h>

#include <cstring>

#include "usb/bounded_format.h"

TEST(StringCchPrintfA, TextFillingCapacityLessOneIsComplete)
{
    char buffer[6];
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(StringCchPrintfA(buffer, sizeof(buffer), "%dbit", 64), kFormatOk);
    EXPECT_STREQ(buffer, "64bit");
}

TEST(StringCchPrintfA, LongerTextIsCutAndTerminated)
{
    char buffer[8];
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(StringCchPrintfA(buffer, sizeof(buffer), "%s", "abcdefghij"), kFormatInsufficientBuffer);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(StringCchPrintfA(buffer, sizeof(buffer), "%s", "abcdefgh"), kFormatInsufficientBuffer)
        << "as long as the capacity: no room for the terminator";
}

TEST(StringCchPrintfA, CapacityZeroOrTooLargeWritesNothing)
{
    char buffer[4] = {'k', 'e', 'e', 'p'};
    EXPECT_EQ(StringCchPrintfA(buffer, 0, "%d", 1), kFormatInvalidParameter);
    EXPECT_EQ(StringCchPrintfA(buffer, size_t{0x80000000}, "%d", 1), kFormatInvalidParameter);
    EXPECT_EQ(memcmp(buffer, "keep", 4), 0);
}
