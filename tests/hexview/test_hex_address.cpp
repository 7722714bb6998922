#include <gtest/gtest.h>

#include "hexview/hex_address.h"

namespace {

TEST(HexAddressPrompt, OffersTheLastOffsetInUpperCaseHex) {
    EXPECT_EQ(HexAddress::Prompt(1000), "Address:(0 To 3E7)");
    EXPECT_EQ(HexAddress::Prompt(0x20000), "Address:(0 To 1FFFF)");
    EXPECT_EQ(HexAddress::Prompt(1), "Address:(0 To 0)");
}

TEST(HexAddressParse, ReadsHexDigitsOfEitherCase) {
    EXPECT_EQ(HexAddress::Parse("100").value, 0x100u);
    EXPECT_EQ(HexAddress::Parse("fFfF").value, 0xFFFFu);
    EXPECT_EQ(HexAddress::Parse("").value, 0u);
    EXPECT_EQ(HexAddress::Parse("FFFFFFFF").value, 0xFFFFFFFFu);
    EXPECT_FALSE(HexAddress::Parse("FFFFFFFF").tooLong);
    EXPECT_TRUE(HexAddress::Parse("000000001").tooLong);
}

TEST(HexAddressParse, CountsEveryCharacterThatIsNoHexDigit) {
    EXPECT_EQ(HexAddress::Parse("1G2").invalidCharacters, 1);
    EXPECT_EQ(HexAddress::Parse(" x-1").invalidCharacters, 3);
    EXPECT_EQ(HexAddress::Parse("0x10").invalidCharacters, 1);
}

TEST(HexAddressTarget, ClampsToTheLastByteAndGivesUpOnBadInput) {
    EXPECT_EQ(HexAddress::Target(HexAddress::Parse("100"), 1000), 0x100);
    EXPECT_EQ(HexAddress::Target(HexAddress::Parse("3E7"), 1000), 999);
    EXPECT_EQ(HexAddress::Target(HexAddress::Parse("3E8"), 1000), 999);
    EXPECT_EQ(HexAddress::Target(HexAddress::Parse("FFFFFFFF"), 1000), 999);
    EXPECT_EQ(HexAddress::Target(HexAddress::Parse("000000001"), 1000), 999);
    EXPECT_EQ(HexAddress::Target(HexAddress::Parse("1G2"), 1000), std::nullopt);
    EXPECT_EQ(HexAddress::Target(HexAddress::Parse("0"), 0), std::nullopt);
}

}  // namespace
