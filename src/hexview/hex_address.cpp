#include "hexview/hex_address.h"

#include <cstdio>

std::string HexAddress::Prompt(int viewLength) {
    char text[40];
    std::snprintf(text, sizeof text, "Address:(0 To %lX)",
                  static_cast<unsigned long>(viewLength > 0 ? viewLength - 1 : 0));
    return text;
}

AddressParse HexAddress::Parse(std::string_view text) {
    AddressParse parse;
    parse.tooLong = text.size() > std::size_t(kMaxDigits);
    for (char c : text) {
        const int digit = DigitValue(c);
        if (digit < 0)
            ++parse.invalidCharacters;
        else if (!parse.tooLong)
            parse.value = (parse.value << 4) | std::uint32_t(digit);
    }
    return parse;
}

int HexAddress::DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<int> HexAddress::Target(const AddressParse& parse, int viewLength) {
    if (parse.invalidCharacters > 0 || viewLength <= 0) return std::nullopt;
    if (parse.tooLong || parse.value >= std::uint32_t(viewLength)) return viewLength - 1;
    return int(parse.value);
}
