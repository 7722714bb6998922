#include <gtest/gtest.h>

#include <cstring>

#include "engine/chip_catalogue.h"
#include "engine/protocol.h"
#include "engine/reply_view.h"

TEST(ChipCatalogue, ListTextsInIndexOrder) {
    const char* expected[] = {"NEC78K0S",       "PIC24FJ64GA004", "PIC24FJ64GA106",
                              "PIC24FJ64GB106", "AT45DB321",      "MX25L3208",
                              "78K0R",          "BF592",          "NONE"};
    for (int i = 0; i < ChipCatalogue::kChipCount; ++i)
        EXPECT_EQ(ChipCatalogue::listText(i), expected[i]);
    EXPECT_EQ(ChipCatalogue::listText(-1), "");
    EXPECT_EQ(ChipCatalogue::listText(9), "");
    EXPECT_EQ(ChipCatalogue::listText(ChipCatalogue::kDefaultIndex), "PIC24FJ64GA004");
}

TEST(ChipCatalogue, MessageNamesOnlyForTheFirstSix) {
    const char* expected[] = {"NEC 78K0S",      "PIC24FJ64GA004", "PIC24FJ64GA106",
                              "PIC24FJ64GB106", "AT45DB321",      "MX25L3208"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ChipCatalogue::chipMessageName(i), expected[i]);
    for (int i : {-1, 6, 7, 8, 9}) EXPECT_EQ(ChipCatalogue::chipMessageName(i), "") << i;
}

TEST(ChipCatalogue, ConfirmationFallsBackToTheListText) {
    EXPECT_EQ(ChipCatalogue::confirmationLine(0), "Selected Chip NEC 78K0S found!\r\n");
    EXPECT_EQ(ChipCatalogue::confirmationLine(5), "Selected Chip MX25L3208 found!\r\n");
    EXPECT_EQ(ChipCatalogue::confirmationLine(6), "Selected Chip 78K0R found!\r\n");
    EXPECT_EQ(ChipCatalogue::confirmationLine(7), "Selected Chip BF592 found!\r\n");
    EXPECT_EQ(ChipCatalogue::confirmationLine(8), "Selected Chip NONE found!\r\n");
}

TEST(ChipCatalogue, DetectionLineForEveryTypeByte) {
    Payload reply{};
    reply[14] = 0x0A;
    reply[15] = 0x0C;
    std::memcpy(&reply[144], "uPD78F1166", 11);
    const ReplyView view(reply);
    for (int type = 0; type < 256; ++type) {
        const std::string line = ChipCatalogue::detectionLines(std::uint8_t(type), view);
        switch (type) {
            case 0:
                EXPECT_EQ(line, "NEC 78K0S series Microprocessor found\r\n");
                break;
            case 1:
                EXPECT_EQ(line, "PIC24FJ64GA004 found\r\nChip Version:0C0A\r\n");
                break;
            case 3:
                EXPECT_EQ(line, "PIC24FJ64GB106 found\r\nChip Version:0C0A\r\n");
                break;
            case 5:
                EXPECT_EQ(line, "Maxronix MX25L3208 found\r\n");
                break;
            case 6:
                EXPECT_EQ(line, "NEC 78K0R uPD78F1166 found\r\n");
                break;
            default:
                EXPECT_EQ(line, "no chip detected\r\n") << type;
        }
    }
}

TEST(ChipCatalogue, VersionIsFourUpperCaseDigitsAndNameIsBounded) {
    Payload reply{};
    reply[14] = 0x05;
    EXPECT_EQ(ChipCatalogue::detectionLines(1, ReplyView(reply)),
              "PIC24FJ64GA004 found\r\nChip Version:0005\r\n");
    reply[14] = 0xCD;
    reply[15] = 0xAB;
    EXPECT_EQ(ChipCatalogue::detectionLines(3, ReplyView(reply)),
              "PIC24FJ64GB106 found\r\nChip Version:ABCD\r\n");

    reply.fill('R');  // a name that never ends stops at the reply's end
    EXPECT_EQ(ChipCatalogue::detectionLines(6, ReplyView(reply)),
              "NEC 78K0R " + std::string(128, 'R') + " found\r\n");
}

TEST(ChipCatalogue, HandlingFlags) {
    for (int i = 0; i <= 9; ++i) {
        EXPECT_EQ(ChipCatalogue::comparesWriteReply(i), i == 5) << i;
        EXPECT_EQ(ChipCatalogue::skipsBlankBlocks(i), i != 6) << i;
        EXPECT_EQ(ChipCatalogue::isSelectable(i), i < 8) << i;
    }
}
