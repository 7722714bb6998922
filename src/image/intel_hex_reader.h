#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "image/import_result.h"

// Reads Intel HEX text into a 4 MiB image that the caller has blanked. Data
// bytes land at their absolute address; the image size comes out in whole
// 128-byte pages up to the last byte stored. Every field is read at its fixed
// place in the line and checked against the line's end, so no line, however
// short or damaged, makes the reader look past it. A set stop flag ends the
// read before the next line.
ImportResult ReadIntelHex(const std::uint8_t* text, std::size_t length, std::uint8_t* image,
                          const ProgressSink& progress, const std::atomic<bool>* stop = nullptr);
