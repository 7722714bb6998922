#include "engine/job_context.h"

#include <QCoreApplication>
#include <algorithm>
#include <span>

#include "engine/chip_catalogue.h"
#include "engine/protocol.h"
#include "link/window_messages.h"

void JobContext::WriteBlock(const std::uint8_t* source, std::uint32_t address) {
    const std::span<const std::uint8_t> block(source, DATA_BLOCK_SIZE);
    const bool blank = std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0xFF; });
    if (blank && ChipCatalogue::skipsBlankBlocks(request.chipIndex())) {
        // The made-up reply repeats the block sent last, as if the adapter had
        // read it back, and accepts the skipped block: its status byte must
        // not repeat whatever the last real reply said.
        Payload made = reply;
        made[0] = CMD_WRITE_BLOCK;
        made[12] = STATUS_ACK;
        std::copy(request.bytes().begin() + OFFSET_DATA, request.bytes().end(), made.begin() + OFFSET_DATA);
        awaitingReply = true;
        expectedReply = CMD_WRITE_BLOCK;
        // Numbered apart from the link's requests.
        awaitedSerial = (std::uint64_t(1) << 63) | ++madeUpReplies;
        QCoreApplication::postEvent(engine, new AdapterReplyMessage(REPLY_READY, 1, made, awaitedSerial));
        return;
    }
    request.SetImageSize(image.imageSize());
    request.SetCommand(CMD_WRITE_BLOCK);
    request.SetData(block);
    request.MarkWriteLength();
    request.SetBlockAddress(address);
    request.SetAddressHigh(std::uint8_t(address >> 8));
    Send();
}

const char* JobName(JobKind kind) {
    switch (kind) {
        case JobKind::Detect: return "Detect";
        case JobKind::Erase: return "Erase";
        case JobKind::Program: return "Program";
        case JobKind::Verify: return "Verify";
        case JobKind::Read: return "Read";
        case JobKind::AutoProgram: return "Auto Program";
        case JobKind::FirmwareUpdate: return "Firmware update";
        case JobKind::None: break;
    }
    return "Job";
}

void JobContext::Post(QEvent::Type type, int wParam, std::int64_t lParam) {
    QCoreApplication::postEvent(engine, new WindowMessage(type, wParam, lParam));
}
