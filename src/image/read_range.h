#pragma once

#include <QString>
#include <cstdint>

// The dialog's four ways of choosing what a read covers, and the command line's.
enum class ReadRangeMode { FromTo = 0, FromBeginTo = 1, FromToEnd = 2, WholeChip = 3,
                           // The command line's START-END in the first two texts: both ends
                           // inclusive, one byte included; no dialog offers it.
                           Inclusive = 4 };

// What the Read Options dialog hands back: the chosen mode and the four texts.
struct ReadOptions {
    ReadRangeMode mode = ReadRangeMode::FromTo;
    QString fromToStart;     // row 1, first edit
    QString fromToEnd;       // row 1, second edit
    QString fromBeginToEnd;  // row 2
    QString fromToEndStart;  // row 3
};

// The range a read takes, both ends inclusive, or why it is refused.
struct ReadRangeCheck {
    bool accepted = false;
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    int badDigits = 0;  // characters that are not hex digits, one message box each
    QString refusal;    // the range message, when the numbers themselves are wrong
};

inline constexpr std::uint32_t kLastAddress = 0x3FFFFF;

// 0..15 for a hex digit of either case, -1 for anything else.
int hexDigitValue(QChar c);

// Reads the texts the mode uses and checks the range. A text with a character
// that is not a hex digit refuses the range; more than eight digits saturate
// rather than wrap; an end above the last address is taken as the last address.
ReadRangeCheck CheckReadRange(const ReadOptions& options);
