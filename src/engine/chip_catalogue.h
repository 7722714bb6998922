#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class ReplyView;

// The chips the adapter handles, named by their chipIndex: the place in the
// chip list, request byte 3, and the value the adapter reports on detection
// and on a read id. Names only: every chip lives in the same 4 MiB space.
class ChipCatalogue {
  public:
    static constexpr int kChipCount = 9;  // indices 0..8, 8 being "NONE"
    static constexpr std::uint8_t kNoChip = 8;
    static constexpr std::uint8_t kDefaultIndex = 1;        // the chip list's first selection
    static constexpr std::uint8_t kCompareWritesIndex = 5;  // MX25L3208
    static constexpr std::uint8_t kNoBlankSkipIndex = 6;    // 78K0R

    // The chip list's text; empty outside 0..8.
    static std::string_view listText(int index);
    // The name used in messages; empty for 6, 7, 8 and outside.
    static std::string_view chipMessageName(int index);

    // The log text for one chip type in a detection reply, with the PIC24
    // version or the 78K0R name taken from that reply where the type calls for it.
    static std::string detectionLines(std::uint8_t type, const ReplyView& reply);
    // "Selected Chip %s found!\r\n"; the chips without a message name use their list text.
    static std::string confirmationLine(int index);

    // A detection naming this index may select it in the list and go on to erase.
    static bool isSelectable(int index) { return index >= 0 && index < kNoChip; }
    // The host compares each write reply's data with the block sent.
    static bool comparesWriteReply(int index) { return index == kCompareWritesIndex; }
    // Blocks of all 0xFF are not sent but answered by the host itself.
    static bool skipsBlankBlocks(int index) { return index != kNoBlankSkipIndex; }
};
