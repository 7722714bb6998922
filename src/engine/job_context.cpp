#include "engine/job_context.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <span>

#include "engine/chip_catalogue.h"
#include "engine/firmware_update.h"
#include "engine/protocol.h"
#include "link/window_messages.h"

void JobContext::WriteBlock(std::uint64_t offset, std::uint32_t address) {
    const std::uint64_t size = image.imageSize();
    const std::uint64_t length = offset < size ? std::min<std::uint64_t>(size - offset, DATA_BLOCK_SIZE) : 0;
    std::array<std::uint8_t, DATA_BLOCK_SIZE> block;
    block.fill(0xFF);
    std::copy_n(image.program() + offset, length, block.begin());
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

void JobContext::EndJob(bool succeeded) {
    if (state.job != JobKind::None) {
        lastJob = state.job;
        lastJobSucceeded = succeeded;
        lastJobStep = succeeded ? QString() : failStep;
        lastJobDetail = succeeded ? QString() : failDetail;
        // Measured now: the notice is handled once the ending handler is done.
        QCoreApplication::postEvent(
            engine, new JobEndedMessage(int(state.job), succeeded, meter.ElapsedMs(),
                                        succeeded ? BytesMoved() : 0, lastJobStep, lastJobDetail));
    }
    state.busy = false;
    cancelRequested = false;
    failStep.clear();
    failDetail.clear();
    state.autoProgram = false;
    state.firmwareUpdate = false;
    state.job = JobKind::None;
}

namespace {

// The blocks before the one in flight, whose address ends at next.
std::uint64_t BlocksBefore(std::uint64_t next, std::uint64_t limit) {
    return std::min(next >= DATA_BLOCK_SIZE ? next - DATA_BLOCK_SIZE : 0, limit);
}

}  // namespace

// Which stage a chain is in shows in the reply it waits for (a skipped blank
// block waits for its made-up reply like any other); before its first
// request, a job that reloads its file waits for none.
std::uint64_t JobContext::BytesDone() const {
    const std::uint64_t size = image.imageSize();
    const std::uint8_t waiting = awaitingReply ? expectedReply : 0;
    const bool writing = waiting == CMD_WRITE_BLOCK;
    const bool reading = waiting == CMD_READ_BLOCK;
    switch (state.job) {
        case JobKind::Program:
            return BlocksBefore(state.programAddress, size);
        case JobKind::AutoProgram:
            if (writing) return BlocksBefore(state.programAddress, size);
            return reading || waiting == CMD_PROGRAM_VERIFY ? size : 0;
        case JobKind::Read:
            return reading ? BlocksBefore(state.readAddress, std::uint64_t(state.readEnd) + 1) : 0;
        case JobKind::Verify:
            return reading ? BlocksBefore(state.readAddress, size) : 0;
        case JobKind::FirmwareUpdate: {
            // Addresses count 16-bit words from the start of the program area.
            const std::uint64_t total = BytesMoved();
            if (writing && state.programAddress >= FirmwareUpdate::kFirstWord)
                return BlocksBefore(
                    2 * std::uint64_t(state.programAddress - FirmwareUpdate::kFirstWord), total);
            return waiting == CMD_PROGRAM_VERIFY || waiting == CMD_FIRMWARE_DONE ? total : 0;
        }
        default:
            return 0;
    }
}

std::uint64_t JobContext::BytesMoved() const {
    const std::uint64_t size = image.imageSize();
    switch (state.job) {
        case JobKind::Program:
        case JobKind::AutoProgram:
        case JobKind::Verify:
            return size;
        case JobKind::Read:
            return std::uint64_t(state.readEnd) + 1;  // a read always starts at 0
        case JobKind::FirmwareUpdate:
            return size > FirmwareUpdate::kProgramOffset ? size - FirmwareUpdate::kProgramOffset
                                                         : 0;
        default:
            return 0;
    }
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

void JobContext::StartChipCheck() {
    if (host.AutoChipChecked()) {
        request.SetCommand(CMD_DETECT);
    } else {
        request.SetChipIndex(std::uint8_t(host.SelectedChip()));
        request.SetCommand(CMD_READ_ID);
    }
    host.AppendLog(kCheckingLine);
    Send();
}

void JobContext::Post(QEvent::Type type, int wParam, std::int64_t lParam) {
    QCoreApplication::postEvent(engine, new WindowMessage(type, wParam, lParam));
}
