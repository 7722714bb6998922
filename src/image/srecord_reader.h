#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "image/import_result.h"

// Reads Motorola S-record text (S0 header, S1/S2/S3 data, S5/S6 counts,
// S7/S8/S9 start) into a 4 MiB image that the caller has blanked, under the
// same image rules as the Intel HEX reader: data at its address, the size in
// whole 128-byte pages up to the last byte stored, addresses past the image
// refused, every checksum checked, a damaged or short line named by its
// number. The S0 header text and the start address are kept in the result;
// a count record must match the data records before it. The start record
// ends the read, as does the end of the file after a whole line.
ImportResult ReadSRecord(const std::uint8_t* text, std::size_t length, std::uint8_t* image,
                         const ProgressSink& progress, const std::atomic<bool>* stop = nullptr);
