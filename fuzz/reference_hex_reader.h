#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

// What an Intel HEX file must give, worked out the plain way: the text split
// into lines first, every record read by the rules of the format, the stored
// bytes kept in a map. It is slow and obvious on purpose, so that the fast
// reader can be held against it.
class ReferenceHexReader {
  public:
    enum class Verdict {
        Loaded,         // the end record was reached
        UnexpectedEnd,  // an empty line, or the text ended before an end record
        ChecksumError,  // a data or base record whose sum is wrong
        Silent,         // a record type above 5: fails without a message
        Damaged,        // a short line, a non-digit or an address past 4 MiB: the reader may choose
    };

    Verdict Read(const std::uint8_t* text, std::size_t length);

    int line() const { return line_; }  // the line the verdict came from
    std::uint32_t imageSize() const;
    const std::map<std::uint32_t, std::uint8_t>& stored() const { return stored_; }

  private:
    // -1 to go on, else the verdict of this line.
    int Record(const std::uint8_t* line, std::size_t length);
    int Data(const std::uint8_t* line, std::size_t length, int count, std::uint32_t address);
    int Base(const std::uint8_t* line, std::size_t length, int count, int type);
    bool PageHoldsData(std::uint32_t page) const;

    std::map<std::uint32_t, std::uint8_t> stored_;
    std::uint64_t base_ = 0;
    std::int64_t lastStored_ = -1;
    std::uint32_t highestPage_ = 0;
    int line_ = 0;
};
