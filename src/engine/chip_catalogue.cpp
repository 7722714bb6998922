#include "engine/chip_catalogue.h"

#include <array>
#include <cstdio>

#include "engine/reply_view.h"

namespace {

constexpr std::array<std::string_view, ChipCatalogue::kChipCount> kListTexts = {
    "NEC78K0S",  "PIC24FJ64GA004", "PIC24FJ64GA106", "PIC24FJ64GB106", "AT45DB321",
    "MX25L3208", "78K0R",          "BF592",          "NONE",
};

// Chip 0 is written with a blank in messages, without one in the list.
constexpr std::array<std::string_view, 6> kMessageNames = {
    "NEC 78K0S", "PIC24FJ64GA004", "PIC24FJ64GA106", "PIC24FJ64GB106", "AT45DB321", "MX25L3208",
};

constexpr char kNoChipLine[] = "no chip detected\r\n";

std::string VersionLine(std::uint16_t version) {
    char line[32];
    std::snprintf(line, sizeof line, "Chip Version:%.04X\r\n", unsigned(version));
    return line;
}

}  // namespace

std::string_view ChipCatalogue::listText(int index) {
    if (index < 0 || index >= kChipCount) return {};
    return kListTexts[std::size_t(index)];
}

std::string_view ChipCatalogue::chipMessageName(int index) {
    if (index < 0 || index >= int(kMessageNames.size())) return {};
    return kMessageNames[std::size_t(index)];
}

std::string ChipCatalogue::detectionLines(std::uint8_t type, const ReplyView& reply) {
    switch (type) {
        case 0:
            return "NEC 78K0S series Microprocessor found\r\n";
        case 1:
            return "PIC24FJ64GA004 found\r\n" + VersionLine(reply.picVersion());
        case 3:
            return "PIC24FJ64GB106 found\r\n" + VersionLine(reply.picVersion());
        case 5:
            return "Maxronix MX25L3208 found\r\n";
        case 6:
            return "NEC 78K0R " + reply.deviceName() + " found\r\n";
        default:
            return kNoChipLine;
    }
}

std::string ChipCatalogue::confirmationLine(int index) {
    std::string_view name = chipMessageName(index);
    if (name.empty()) name = listText(index);
    return "Selected Chip " + std::string(name) + " found!\r\n";
}
