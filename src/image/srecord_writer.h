#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

// Bytes [from, to) of the image, every one of them, as Motorola S-record: an
// S0 header holding the file's own name, data records of at most 32 bytes at
// their own addresses (S1 when the range's last address fits 16 bits, S2 for
// 24 bits, S3 beyond), the count of data records (S5, or S6 past 0xFFFF) and
// a start record of address 0 that matches the data records (S9, S8, S7).
// CR LF after every record. The text goes to sink in pieces of at most
// 64 KiB; a sink that returns false stops the writing.
bool WriteSRecordRange(const std::uint8_t* image, std::uint32_t from, std::uint32_t to, const QString& fileName,
                       const std::function<bool(const char*, std::size_t)>& sink);

// The whole 4 MiB image the same way, lines of thirty-two 0xFF bytes left
// out, the record kind chosen by the last address written.
bool WriteSRecord(const std::uint8_t* image, const QString& fileName,
                  const std::function<bool(const char*, std::size_t)>& sink);
