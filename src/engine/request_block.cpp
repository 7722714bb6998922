#include "engine/request_block.h"

#include <algorithm>

#include "engine/little_endian.h"
#include "engine/protocol.h"

void RequestBlock::SetCommand(std::uint8_t code) {
    bytes_[OFFSET_COMMAND] = code;
}

void RequestBlock::SetBlockLength(std::uint16_t length) {
    StoreU16(&bytes_[OFFSET_BLOCK_LENGTH], length);
}

void RequestBlock::MarkWriteLength() {
    bytes_[OFFSET_BLOCK_LENGTH + 1] |= LENGTH_WRITE_BIT;
}

void RequestBlock::SetLastBlockFlag(bool last) {
    std::uint8_t& high = bytes_[OFFSET_BLOCK_LENGTH + 1];
    high = last ? std::uint8_t(high | LENGTH_LAST_BLOCK_BIT)
                : std::uint8_t(high & ~LENGTH_LAST_BLOCK_BIT);
}

void RequestBlock::SetChipIndex(std::uint8_t index) {
    bytes_[OFFSET_CHIP_INDEX] = index;
}

void RequestBlock::SetBlockAddress(std::uint32_t address) {
    StoreU32(&bytes_[OFFSET_BLOCK_ADDRESS], address);
}

void RequestBlock::SetImageSize(std::uint32_t size) {
    StoreU32(&bytes_[OFFSET_IMAGE_SIZE], size);
}

void RequestBlock::SetAccessMode(std::uint8_t mode) {
    bytes_[OFFSET_ACCESS_MODE] = mode;
}

void RequestBlock::SetAddressHigh(std::uint8_t bits8to15) {
    bytes_[OFFSET_ADDRESS_HIGH] = bits8to15;
}

void RequestBlock::SetData(std::span<const std::uint8_t> block) {
    const std::size_t n = std::min(block.size(), DATA_BLOCK_SIZE);
    std::uint8_t* out = &bytes_[OFFSET_DATA];
    std::copy_n(block.begin(), n, out);
    std::fill(out + n, out + DATA_BLOCK_SIZE, std::uint8_t(0xFF));
}

std::uint16_t RequestBlock::blockLength() const {
    return LoadU16(&bytes_[OFFSET_BLOCK_LENGTH]);
}

bool RequestBlock::lastBlockFlag() const {
    return (bytes_[OFFSET_BLOCK_LENGTH + 1] & LENGTH_LAST_BLOCK_BIT) != 0;
}

std::uint8_t RequestBlock::chipIndex() const {
    return bytes_[OFFSET_CHIP_INDEX];
}

std::uint32_t RequestBlock::blockAddress() const {
    return LoadU32(&bytes_[OFFSET_BLOCK_ADDRESS]);
}

std::uint32_t RequestBlock::imageSize() const {
    return LoadU32(&bytes_[OFFSET_IMAGE_SIZE]);
}

std::uint8_t RequestBlock::accessMode() const {
    return bytes_[OFFSET_ACCESS_MODE];
}

std::uint8_t RequestBlock::addressHigh() const {
    return bytes_[OFFSET_ADDRESS_HIGH];
}

std::span<const std::uint8_t> RequestBlock::data() const {
    return std::span<const std::uint8_t>(bytes_).subspan(OFFSET_DATA, DATA_BLOCK_SIZE);
}
