#pragma once

#include <cstddef>
#include <cstdint>

// The adapter's request and reply layout: one 272-byte payload each way, all
// multi-byte fields little-endian. The adapter answers every request with one
// reply whose byte 0 repeats the command code.

// Command codes (request and reply byte 0).
inline constexpr std::uint8_t CMD_READ_BLOCK = 1;
inline constexpr std::uint8_t CMD_FIRMWARE_DONE = 4;
inline constexpr std::uint8_t CMD_ERASE = 7;
inline constexpr std::uint8_t CMD_VERIFY = 12;
inline constexpr std::uint8_t CMD_READ_ID = 13;
inline constexpr std::uint8_t CMD_PROGRAM_VERIFY = 14;
inline constexpr std::uint8_t CMD_WRITE_BLOCK = 15;
inline constexpr std::uint8_t CMD_ENTER_BOOT = 17;
inline constexpr std::uint8_t CMD_DETECT = 23;

// Status byte (reply byte 12).
inline constexpr std::uint8_t STATUS_ACK = 0x06;
inline constexpr std::uint8_t STATUS_NAK = 0x15;
inline constexpr std::uint8_t BOOT_READY = 0x55;       // 'U': boot mode on this connection
inline constexpr std::uint8_t BOOT_RESTARTING = 0x58;  // 'X': comes back as a new device

// Field offsets in the request block.
inline constexpr std::size_t OFFSET_COMMAND = 0;
inline constexpr std::size_t OFFSET_BLOCK_LENGTH = 1;  // u16
inline constexpr std::size_t OFFSET_CHIP_INDEX = 3;
inline constexpr std::size_t OFFSET_BLOCK_ADDRESS = 4;  // u32
inline constexpr std::size_t OFFSET_IMAGE_SIZE = 8;     // u32
inline constexpr std::size_t OFFSET_ACCESS_MODE = 13;
inline constexpr std::size_t OFFSET_ADDRESS_HIGH = 15;
inline constexpr std::size_t OFFSET_DATA = 16;

// Field offsets in a reply that differ from the request's.
inline constexpr std::size_t OFFSET_CHIP_COUNT = 1;    // u16
inline constexpr std::size_t OFFSET_BOOT_VERSION = 8;  // u16
inline constexpr std::size_t OFFSET_BOOT_ID = 10;      // u16
inline constexpr std::size_t OFFSET_STATUS = 12;
inline constexpr std::size_t OFFSET_PIC_VERSION = 14;   // u16
inline constexpr std::size_t OFFSET_CHIP_TYPES = 16;    // one byte per chip found
inline constexpr std::size_t OFFSET_DEVICE_NAME = 144;  // zero-terminated 78K0R name

inline constexpr std::size_t DATA_BLOCK_SIZE = 256;
// Bits of request byte 2 inside the block-length field.
inline constexpr std::uint8_t LENGTH_WRITE_BIT = 0x01;       // bytes 1..2 read 256
inline constexpr std::uint8_t LENGTH_LAST_BLOCK_BIT = 0x80;  // the last block of a program job

// Every chip is addressed in the same 4 MiB space; no chip has a size of its own.
inline constexpr std::uint32_t CHIP_ADDRESS_SPACE = 0x400000;

// Access mode (request byte 13).
inline constexpr std::uint8_t ACCESS_DIRECT = 0;
inline constexpr std::uint8_t ACCESS_JTAG = 1;

// Whether a reply code is one the host knows how to handle.
constexpr bool IsKnownReplyCode(std::uint8_t code) {
    switch (code) {
        case CMD_READ_BLOCK:
        case CMD_FIRMWARE_DONE:
        case CMD_ERASE:
        case CMD_VERIFY:
        case CMD_READ_ID:
        case CMD_PROGRAM_VERIFY:
        case CMD_WRITE_BLOCK:
        case CMD_ENTER_BOOT:
        case CMD_DETECT:
            return true;
        default:
            return false;
    }
}

// The log line for a request that got no reply, by the code of that request.
constexpr const char* TimeoutLine(std::uint8_t code) {
    switch (code) {
        case CMD_FIRMWARE_DONE:
            return "Firmware Updated succeed! Please Reset your programmer Manual.\r\n";
        case CMD_ERASE:
            return "Erase Failed\r\n";
        case CMD_READ_ID:
            return "Read Id Failed\r\n";
        case CMD_PROGRAM_VERIFY:
            return "Verify Failed\r\n";
        case CMD_WRITE_BLOCK:
            return "Write Failed\r\n";
        case CMD_ENTER_BOOT:
            return "Enter boot mode failed,Please try again!\r\n";
        default:
            return "unknown Commands timeout\r\n";
    }
}
