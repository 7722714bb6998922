#include <gtest/gtest.h>

#include "image/read_range.h"
#include "support/qt_printers.h"

namespace {

ReadRangeCheck Check(ReadRangeMode mode, const QString& a = {}, const QString& b = {}) {
    ReadOptions o;
    o.mode = mode;
    o.fromToStart = a, o.fromToEnd = b;
    o.fromBeginToEnd = a;
    o.fromToEndStart = a;
    return CheckReadRange(o);
}

const QString kStartAfterEnd = "addr range error, end addr should large than start";
const QString kEndZero = "addr range error, end addr should greater than 0";
const QString kOutOfSpace = "addr range error, start addr out of space";

}  // namespace

TEST(ReadRange, EachModeAcceptsItsRange) {
    auto fromTo = Check(ReadRangeMode::FromTo, "100", "1ff");
    EXPECT_TRUE(fromTo.accepted);
    EXPECT_EQ(fromTo.start, 0x100u);
    EXPECT_EQ(fromTo.end, 0x1FFu);
    auto begin = Check(ReadRangeMode::FromBeginTo, "FF");
    EXPECT_TRUE(begin.accepted);
    EXPECT_EQ(begin.start, 0u);
    EXPECT_EQ(begin.end, 0xFFu);
    auto toEnd = Check(ReadRangeMode::FromToEnd, "3FFFFF");
    EXPECT_TRUE(toEnd.accepted);
    EXPECT_EQ(toEnd.start, 0x3FFFFFu);
    EXPECT_EQ(toEnd.end, 0x3FFFFFu);
    auto whole = Check(ReadRangeMode::WholeChip, "junk");
    EXPECT_TRUE(whole.accepted);
    EXPECT_EQ(whole.end, 0x3FFFFFu);
    EXPECT_EQ(whole.badDigits, 0);
}

TEST(ReadRange, EachModeRefusesWithItsMessage) {
    EXPECT_EQ(Check(ReadRangeMode::FromTo).refusal, kStartAfterEnd);
    EXPECT_EQ(Check(ReadRangeMode::FromTo, "10", "10").refusal, kStartAfterEnd);
    EXPECT_EQ(Check(ReadRangeMode::FromBeginTo).refusal, kEndZero);
    EXPECT_EQ(Check(ReadRangeMode::FromBeginTo, "0").refusal, kEndZero);
    EXPECT_EQ(Check(ReadRangeMode::FromToEnd, "400000").refusal, kOutOfSpace);
    EXPECT_EQ(Check(ReadRangeMode::FromToEnd, "").refusal, kOutOfSpace);
    EXPECT_TRUE(Check(ReadRangeMode::FromTo, "", "1").accepted);  // an empty start is 0 here
}

TEST(ReadRange, LongTextsSaturateAndEndsAreClippedToTheChip) {
    auto clipped = Check(ReadRangeMode::FromTo, "100", "500000");
    EXPECT_TRUE(clipped.accepted);
    EXPECT_EQ(clipped.end, 0x3FFFFFu);
    // Nine digits would wrap to 0x00000001 in 32 bits; they saturate instead.
    EXPECT_EQ(Check(ReadRangeMode::FromToEnd, "100000001").refusal, kOutOfSpace);
    auto big = Check(ReadRangeMode::FromBeginTo, "1000000000");
    EXPECT_TRUE(big.accepted);
    EXPECT_EQ(big.end, 0x3FFFFFu);
    EXPECT_EQ(Check(ReadRangeMode::FromTo, "400000", "500000").refusal, kStartAfterEnd);
}

TEST(ReadRange, ANonHexCharacterRefusesTheRangeAfterItsBoxes) {
    auto bad = Check(ReadRangeMode::FromTo, "1G", "Z00");
    EXPECT_FALSE(bad.accepted);
    EXPECT_EQ(bad.badDigits, 2);
    EXPECT_TRUE(bad.refusal.isEmpty());
    EXPECT_EQ(hexDigitValue('a'), 10);
    EXPECT_EQ(hexDigitValue('F'), 15);
    EXPECT_EQ(hexDigitValue('g'), -1);
}
