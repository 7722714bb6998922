#include <gtest/gtest.h>

#include "engine/protocol.h"

TEST(Protocol, TimeoutLineOfTheLastCommand) {
    EXPECT_STREQ(TimeoutLine(CMD_FIRMWARE_DONE),
                 "Firmware Updated succeed! Please Reset your programmer Manual.\r\n");
    EXPECT_STREQ(TimeoutLine(CMD_ERASE), "Erase Failed\r\n");
    EXPECT_STREQ(TimeoutLine(CMD_READ_ID), "Read Id Failed\r\n");
    EXPECT_STREQ(TimeoutLine(CMD_PROGRAM_VERIFY), "Verify Failed\r\n");
    EXPECT_STREQ(TimeoutLine(CMD_WRITE_BLOCK), "Write Failed\r\n");
    EXPECT_STREQ(TimeoutLine(CMD_ENTER_BOOT), "Enter boot mode failed,Please try again!\r\n");
    for (std::uint8_t code :
         {CMD_READ_BLOCK, CMD_VERIFY, CMD_DETECT, std::uint8_t(0), std::uint8_t(2)})
        EXPECT_STREQ(TimeoutLine(code), "unknown Commands timeout\r\n") << int(code);
}

TEST(Protocol, KnownReplyCodes) {
    int known = 0;
    for (int code = 0; code < 256; ++code) known += IsKnownReplyCode(std::uint8_t(code));
    EXPECT_EQ(known, 9);
    for (std::uint8_t code : {1, 4, 7, 12, 13, 14, 15, 17, 23}) EXPECT_TRUE(IsKnownReplyCode(code));
    EXPECT_FALSE(IsKnownReplyCode(2));
}
