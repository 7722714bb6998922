#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "image/import_result.h"

// Reads the loadable segments of an ELF file (32- or 64-bit, either byte
// order) into a 4 MiB image that the caller has blanked: each PT_LOAD
// segment's file bytes at its physical address. The entry point is kept in
// the result as the start address.
ImportResult ReadElf(const std::uint8_t* bytes, std::size_t length, std::uint8_t* image,
                     const std::atomic<bool>* stop = nullptr);
