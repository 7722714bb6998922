#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A typed goto address, read as hexadecimal.
struct AddressParse {
    std::uint32_t value = 0;
    int invalidCharacters = 0;  // each one earns the user a message box
    bool tooLong = false;       // more digits than 32 bits hold
};

// The goto address: the prompt that offers the range, the reading of what
// was typed, and where the caret then goes.
class HexAddress {
public:
    static constexpr int kMaxDigits = 8;

    // "Address:(0 To %lX)" with the last offset of viewLength bytes.
    static std::string Prompt(int viewLength);
    static AddressParse Parse(std::string_view text);
    // 0..15 for a hex digit of either case, -1 for anything else.
    static int DigitValue(char c);
    // The offset to go to: nothing when a character was not a hex digit,
    // the last byte for an address at or past the end or too long to hold.
    static std::optional<int> Target(const AddressParse& parse, int viewLength);
};
