#include "image/read_range.h"

#include <algorithm>

namespace {

struct HexText {
    std::uint32_t value = 0;
    int badDigits = 0;
};

HexText ParseHex(const QString& text) {
    HexText out;
    std::uint64_t value = 0;
    for (QChar c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0) {
            ++out.badDigits;
            continue;
        }
        value = std::min<std::uint64_t>(value * 16 + std::uint64_t(digit), 0xFFFFFFFFu);
    }
    out.value = std::uint32_t(value);
    return out;
}

}  // namespace

int hexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

ReadRangeCheck CheckReadRange(const ReadOptions& options) {
    ReadRangeCheck check;
    auto take = [&check](const QString& text) {
        const HexText parsed = ParseHex(text);
        check.badDigits += parsed.badDigits;
        return parsed.value;
    };
    bool fits = false;
    switch (options.mode) {
        case ReadRangeMode::FromTo:
            check.start = take(options.fromToStart);
            check.end = std::min(take(options.fromToEnd), kLastAddress);
            fits = check.end > check.start;
            if (!fits) check.refusal = "addr range error, end addr should large than start";
            break;
        case ReadRangeMode::FromBeginTo:
            check.end = std::min(take(options.fromBeginToEnd), kLastAddress);
            fits = check.end != 0;
            if (!fits) check.refusal = "addr range error, end addr should greater than 0";
            break;
        case ReadRangeMode::FromToEnd:
            check.start = take(options.fromToEndStart);
            check.end = kLastAddress;
            fits = !options.fromToEndStart.isEmpty() && check.start <= kLastAddress;
            if (!fits) check.refusal = "addr range error, start addr out of space";
            break;
        case ReadRangeMode::Inclusive:
            check.start = take(options.fromToStart);
            check.end = take(options.fromToEnd);
            fits = check.start <= check.end && check.end <= kLastAddress;
            if (!fits) check.refusal = "addr range error, out of space or end before start";
            break;
        case ReadRangeMode::WholeChip:
            check.end = kLastAddress;
            fits = true;
            break;
    }
    // A mistyped digit refuses the range: its boxes have said what was wrong.
    if (check.badDigits > 0) check.refusal.clear();
    check.accepted = fits && check.badDigits == 0;
    return check;
}
