#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One HID report to or from the adapter: report id 0, then the payload. The
// adapter answers every request with exactly one report of the same size.
inline constexpr std::size_t kReportSize = 273;
inline constexpr std::size_t kPayloadSize = 272;

inline constexpr std::uint16_t kAdapterVendorId = 0x0712;
inline constexpr std::uint16_t kAdapterProductId = 0x0009;

using Payload = std::array<std::uint8_t, kPayloadSize>;
using AdapterReport = std::array<std::uint8_t, kReportSize>;
