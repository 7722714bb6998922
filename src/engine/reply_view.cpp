#include "engine/reply_view.h"

#include <algorithm>

#include "engine/protocol.h"

std::uint32_t ReplyView::blockAddress() const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t(at(OFFSET_BLOCK_ADDRESS + i)) << (8 * i);
    return value;
}

std::span<const std::uint8_t> ReplyView::data() const {
    return tail(OFFSET_DATA, DATA_BLOCK_SIZE);
}

std::span<const std::uint8_t> ReplyView::chipTypes() const {
    return tail(OFFSET_CHIP_TYPES, chipCount());
}

std::string ReplyView::deviceName() const {
    const std::span<const std::uint8_t> text = tail(OFFSET_DEVICE_NAME, kPayloadSize);
    const auto end = std::find(text.begin(), text.end(), std::uint8_t(0));
    return std::string(text.begin(), end);
}

std::uint16_t ReplyView::u16(std::size_t offset) const {
    return std::uint16_t(at(offset) | at(offset + 1) << 8);
}

std::span<const std::uint8_t> ReplyView::tail(std::size_t offset, std::size_t maxLength) const {
    if (offset >= bytes_.size()) return {};
    return bytes_.subspan(offset, std::min(maxLength, bytes_.size() - offset));
}

bool AnswersRequest(const Payload& request, const Payload& reply) {
    if (reply[OFFSET_COMMAND] != request[OFFSET_COMMAND]) return false;
    if (request[OFFSET_COMMAND] != CMD_READ_BLOCK) return true;
    return std::equal(request.begin() + OFFSET_BLOCK_ADDRESS, request.begin() + OFFSET_BLOCK_ADDRESS + 4,
                      reply.begin() + OFFSET_BLOCK_ADDRESS);
}
