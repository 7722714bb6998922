#include "sim/adapter_simulator.h"

#include <algorithm>
#include <cstring>

#include "engine/chip_catalogue.h"
#include "engine/little_endian.h"
#include "engine/protocol.h"

namespace {

// Detection lists one type byte per chip from byte 16; beyond 128 chips they
// would run into the 78K0R name at byte 144.
constexpr std::size_t kMaxChipsReported = OFFSET_DEVICE_NAME - OFFSET_CHIP_TYPES;

bool IsType(const std::vector<std::uint8_t>& chips, std::uint8_t type) {
    return std::find(chips.begin(), chips.end(), type) != chips.end();
}

std::span<std::uint8_t> DataOf(Payload& block) {
    return std::span<std::uint8_t>(block).subspan(OFFSET_DATA, DATA_BLOCK_SIZE);
}

std::span<const std::uint8_t> DataOf(const Payload& block) {
    return std::span<const std::uint8_t>(block).subspan(OFFSET_DATA, DATA_BLOCK_SIZE);
}

}  // namespace

AdapterSimulator::AdapterSimulator(SimConfig config)
    : config_(std::move(config)),
      chipFlash_(CHIP_ADDRESS_SPACE),
      firmwareStore_(std::size_t(config_.firmwareWords) * 2),
      damage_(config_.faults.seed) {}

DeviceAnswer AdapterSimulator::OnReport(const std::uint8_t* report, std::size_t length) {
    std::lock_guard lock(mutex_);
    const SimConfig::Faults& faults = config_.faults;
    const int number = requestCount_++;
    DeviceAnswer answer;
    answer.reply = false;
    if (number == faults.failWriteRequest) {
        answer.written = -1;
        answer.errorCode = faults.failWriteError;
        return answer;
    }
    if (number == faults.shortWriteRequest) {
        answer.written = faults.shortWriteBytes;
        return answer;
    }
    // The report id goes first; a report shorter than a whole one reads as zeros after its end.
    Payload request{};
    if (length > 1) std::memcpy(request.data(), report + 1, std::min(length - 1, kPayloadSize));
    if (config_.keepTranscript) transcript_.push_back(request);

    answer.reply = true;
    answer.payload.fill(0);
    Answer(request, answer.payload, answer);
    answer.latencyMs = LatencyOf(request[OFFSET_COMMAND]);
    ApplyReplyFaults(number, request, answer);
    ApplyQuirks(number, request, answer);
    if (answer.reply) lastAnswers_[answer.payload[OFFSET_COMMAND]] = {number, answer.payload};
    return answer;
}

void AdapterSimulator::OnPlugged(bool present) {
    std::lock_guard lock(mutex_);
    // Losing power ends the boot loader, unless it left the bus to restart
    // into it; then it comes back in boot mode.
    if (present) {
        bootMode_ = restartPending_;
        restartPending_ = false;
    } else if (!restartPending_) {
        bootMode_ = false;
    }
}

void AdapterSimulator::Answer(const Payload& request, Payload& reply, DeviceAnswer& answer) {
    reply[OFFSET_COMMAND] = request[OFFSET_COMMAND];
    if (bootMode_)
        AnswerBootLoader(request, reply);
    else
        AnswerApplication(request, reply, answer);
}

void AdapterSimulator::AnswerApplication(const Payload& request, Payload& reply,
                                         DeviceAnswer& answer) {
    switch (request[OFFSET_COMMAND]) {
        case CMD_DETECT:
            return Detect(reply);
        case CMD_READ_ID:
            return ReadId(reply);
        case CMD_ERASE:
            return EraseChip(reply);
        case CMD_WRITE_BLOCK:
            return WriteChipBlock(request, reply);
        case CMD_READ_BLOCK:
            return ReadChipBlock(request, reply);
        case CMD_ENTER_BOOT:
            return EnterBoot(reply, answer);
        case CMD_VERIFY:
        case CMD_PROGRAM_VERIFY:
        case CMD_FIRMWARE_DONE:
            reply[OFFSET_STATUS] = STATUS_ACK;
            return;
        default:
            reply[OFFSET_STATUS] = STATUS_NAK;
            return;
    }
}

void AdapterSimulator::AnswerBootLoader(const Payload& request, Payload& reply) {
    switch (request[OFFSET_COMMAND]) {
        case CMD_READ_ID:
            return ReadBootId(reply);
        case CMD_ERASE:
            return EraseFirmware(reply);
        case CMD_WRITE_BLOCK:
            return WriteFirmwareBlock(request, reply);
        case CMD_FIRMWARE_DONE:
            return LeaveBoot(reply);
        case CMD_ENTER_BOOT:
            reply[OFFSET_STATUS] = BOOT_READY;
            return;
        case CMD_VERIFY:
        case CMD_PROGRAM_VERIFY:
            reply[OFFSET_STATUS] = STATUS_ACK;
            return;
        default:
            reply[OFFSET_STATUS] = STATUS_NAK;
            return;
    }
}

void AdapterSimulator::Detect(Payload& reply) const {
    const std::vector<std::uint8_t>& chips = config_.chips;
    const std::size_t count = std::min(chips.size(), kMaxChipsReported);
    StoreU16(&reply[OFFSET_CHIP_COUNT], std::uint16_t(count));
    std::copy_n(chips.begin(), count, &reply[OFFSET_CHIP_TYPES]);
    reply[OFFSET_CHIP_INDEX] = count > 0 ? chips.front() : ChipCatalogue::kNoChip;
    if (IsType(chips, 1) || IsType(chips, 3))
        StoreU16(&reply[OFFSET_PIC_VERSION], config_.picVersion);
    if (IsType(chips, ChipCatalogue::kNoBlankSkipIndex)) {
        // Always leave room for the terminating zero.
        const std::size_t room = kPayloadSize - OFFSET_DEVICE_NAME - 1;
        const std::size_t n = std::min(config_.deviceName.size(), room);
        std::memcpy(&reply[OFFSET_DEVICE_NAME], config_.deviceName.data(), n);
        reply[OFFSET_DEVICE_NAME + n] = 0;
    }
}

void AdapterSimulator::ReadId(Payload& reply) const {
    const std::vector<std::uint8_t>& chips = config_.chips;
    reply[OFFSET_CHIP_INDEX] = chips.empty() ? ChipCatalogue::kNoChip : chips.front();
    reply[OFFSET_STATUS] = STATUS_ACK;
}

void AdapterSimulator::EraseChip(Payload& reply) {
    const bool refused = config_.chips.empty() || config_.faults.refuseErase;
    if (!refused) chipFlash_.EraseAll();
    reply[OFFSET_STATUS] = refused ? STATUS_NAK : STATUS_ACK;
}

void AdapterSimulator::WriteChipBlock(const Payload& request, Payload& reply) {
    const std::uint32_t address = LoadU32(&request[OFFSET_BLOCK_ADDRESS]);
    StoreU32(&reply[OFFSET_BLOCK_ADDRESS], address);
    if (IsWriteRefused()) {
        reply[OFFSET_STATUS] = config_.faults.writeRefusalStatus;
        return;
    }
    const bool ok = !config_.chips.empty() && chipFlash_.Program(address, DataOf(request));
    reply[OFFSET_STATUS] = ok ? STATUS_ACK : STATUS_NAK;
    // The serial flash is read back after each page so the host can compare it.
    if (ok && ChipCatalogue::comparesWriteReply(request[OFFSET_CHIP_INDEX]))
        chipFlash_.Read(address, DataOf(reply));
}

void AdapterSimulator::ReadChipBlock(const Payload& request, Payload& reply) const {
    const std::uint32_t address = LoadU32(&request[OFFSET_BLOCK_ADDRESS]);
    StoreU32(&reply[OFFSET_BLOCK_ADDRESS], address);
    const bool ok = !config_.chips.empty() && chipFlash_.Read(address, DataOf(reply));
    reply[OFFSET_STATUS] = ok ? STATUS_ACK : STATUS_NAK;
}

void AdapterSimulator::EnterBoot(Payload& reply, DeviceAnswer& answer) {
    if (config_.bootEntry == SimConfig::BootEntry::Ready) {
        bootMode_ = true;
        reply[OFFSET_STATUS] = BOOT_READY;
        return;
    }
    // The application cannot hand over on the same connection: it says so,
    // then resets into the boot loader, which enumerates as a new device.
    restartPending_ = true;
    reply[OFFSET_STATUS] = BOOT_RESTARTING;
    answer.leaveAfterMs = config_.leaveDelayMs;
    answer.returnAfterMs = config_.reconnectDelayMs;
}

void AdapterSimulator::ReadBootId(Payload& reply) const {
    StoreU16(&reply[OFFSET_BOOT_VERSION], config_.bootVersion);
    StoreU16(&reply[OFFSET_BOOT_ID], config_.bootId);
    reply[OFFSET_STATUS] = STATUS_ACK;
}

void AdapterSimulator::EraseFirmware(Payload& reply) {
    // The boot loader spares its own words.
    const std::size_t from =
        std::min<std::size_t>(std::size_t(config_.bootAreaWords) * 2, firmwareStore_.size());
    firmwareStore_.Erase(from, firmwareStore_.size() - from);
    reply[OFFSET_STATUS] = STATUS_ACK;
}

void AdapterSimulator::WriteFirmwareBlock(const Payload& request, Payload& reply) {
    const std::uint32_t word = LoadU32(&request[OFFSET_BLOCK_ADDRESS]);
    StoreU32(&reply[OFFSET_BLOCK_ADDRESS], word);
    if (IsWriteRefused()) {
        reply[OFFSET_STATUS] = config_.faults.writeRefusalStatus;
        return;
    }
    const std::uint64_t offset = std::uint64_t(word) * 2;
    const bool ok = word >= config_.bootAreaWords && firmwareStore_.Fits(offset, DATA_BLOCK_SIZE) &&
                    firmwareStore_.Program(std::size_t(offset), DataOf(request));
    reply[OFFSET_STATUS] = ok ? STATUS_ACK : STATUS_NAK;
}

void AdapterSimulator::LeaveBoot(Payload& reply) {
    bootMode_ = false;
    reply[OFFSET_STATUS] = STATUS_ACK;
}

bool AdapterSimulator::IsWriteRefused() {
    return writeBlockCount_++ == config_.faults.refuseWriteBlock;
}

void AdapterSimulator::ApplyReplyFaults(int number, const Payload& request, DeviceAnswer& answer) {
    const SimConfig::Faults& faults = config_.faults;
    const std::uint8_t code = request[OFFSET_COMMAND];
    const bool carriesReadBack =
        code == CMD_READ_BLOCK ||
        (code == CMD_WRITE_BLOCK && ChipCatalogue::comparesWriteReply(request[OFFSET_CHIP_INDEX]));
    if (carriesReadBack &&
        (faults.corruptReadBack == number || faults.corruptReadBack == SimConfig::kEveryRequest))
        CorruptData(answer.payload);
    if (number == faults.wrongEchoRequest) answer.payload[OFFSET_COMMAND] = faults.wrongEchoCode;
    if (number == faults.nakRequest) answer.payload[OFFSET_STATUS] = STATUS_NAK;
    if (number == faults.lateRequest) answer.latencyMs = faults.lateReplyMs;
    if (number == faults.unplugAfterRequest) {
        answer.leaveAfterMs = 0;
        answer.returnAfterMs = faults.unplugReturnAfterMs;
    }
    if (number == faults.silentRequest || code == faults.silentCommand) answer.reply = false;
}

void AdapterSimulator::ApplyQuirks(int number, const Payload& request, DeviceAnswer& answer) const {
    const SimConfig::Quirks& quirks = config_.quirks;
    if (number == quirks.slowRequest) answer.latencyMs = quirks.slowReplyMs;
    // Early, the reply before the request repeats; there is none before the first.
    const bool early = quirks.staleReplyEarly && quirks.staleReplyRequest > 0;
    if (early && number == quirks.staleReplyRequest - 1) answer.repeatReply = true;
    if (!early && number == quirks.staleReplyRequest) answer.earlierReply = EarlierReply(request);
    if (number == quirks.restartRequest) {
        answer.reply = false;
        answer.leaveAfterMs = 0;
        answer.returnAfterMs = quirks.restartReturnAfterMs;
    }
}

// The answer to the latest earlier request that a host can tell from this
// request's own by what the protocol lets it see: another command's echo, or
// a read of another block. Before there is one, the answer to a verify (to a
// read id when this is a verify), which a host may have sent in an earlier job.
Payload AdapterSimulator::EarlierReply(const Payload& request) const {
    const std::uint8_t code = request[OFFSET_COMMAND];
    const Answered* latest = nullptr;
    for (const auto& [echo, answered] : lastAnswers_) {
        const bool sameBlock = std::equal(&request[OFFSET_BLOCK_ADDRESS], &request[OFFSET_BLOCK_ADDRESS] + 4,
                                          &answered.reply[OFFSET_BLOCK_ADDRESS]);
        if (echo == code && (code != CMD_READ_BLOCK || sameBlock)) continue;
        if (!latest || answered.number > latest->number) latest = &answered;
    }
    if (latest) return latest->reply;
    Payload reply{};
    reply[OFFSET_COMMAND] = code == CMD_VERIFY ? CMD_READ_ID : CMD_VERIFY;
    reply[OFFSET_STATUS] = STATUS_ACK;
    return reply;
}

void AdapterSimulator::CorruptData(Payload& reply) {
    // Distinct positions, each flipped by a non-zero mask, so exactly
    // corruptBytes bytes differ from what the chip holds.
    std::span<std::uint8_t> data = DataOf(reply);
    const int count = std::clamp(config_.faults.corruptBytes, 0, int(DATA_BLOCK_SIZE));
    std::vector<bool> hit(DATA_BLOCK_SIZE, false);
    for (int done = 0; done < count;) {
        const std::size_t at = damage_() % DATA_BLOCK_SIZE;
        if (hit[at]) continue;
        hit[at] = true;
        data[at] ^= std::uint8_t(1 + damage_() % 255);
        ++done;
    }
}

int AdapterSimulator::LatencyOf(std::uint8_t code) const {
    const auto it = config_.commandLatencyMs.find(code);
    return it != config_.commandLatencyMs.end() ? it->second : config_.latencyMs;
}

std::vector<Payload> AdapterSimulator::transcript() const {
    std::lock_guard lock(mutex_);
    return transcript_;
}

void AdapterSimulator::ClearFaults() {
    std::lock_guard lock(mutex_);
    config_.faults = SimConfig::Faults{};
    config_.quirks = SimConfig::Quirks{};
}

void AdapterSimulator::ClearTranscript() {
    std::lock_guard lock(mutex_);
    transcript_.clear();
}

int AdapterSimulator::requestCount() const {
    std::lock_guard lock(mutex_);
    return requestCount_;
}

std::vector<std::uint8_t> AdapterSimulator::flash(std::uint32_t address, std::size_t length) const {
    std::lock_guard lock(mutex_);
    if (!chipFlash_.Fits(address, length)) return {};
    std::vector<std::uint8_t> bytes(length);
    chipFlash_.Read(address, bytes);
    return bytes;
}

std::vector<std::uint8_t> AdapterSimulator::firmware(std::uint32_t wordAddress,
                                                     std::size_t words) const {
    std::lock_guard lock(mutex_);
    const std::uint64_t offset = std::uint64_t(wordAddress) * 2;
    if (words > firmwareStore_.size() || !firmwareStore_.Fits(offset, words * 2)) return {};
    std::vector<std::uint8_t> bytes(words * 2);
    firmwareStore_.Read(std::size_t(offset), bytes);
    return bytes;
}

bool AdapterSimulator::bootMode() const {
    std::lock_guard lock(mutex_);
    return bootMode_;
}

bool AdapterSimulator::PresetFlash(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    return chipFlash_.Preset(address, bytes);
}

void AdapterSimulator::SetChips(std::vector<std::uint8_t> chips) {
    std::lock_guard lock(mutex_);
    config_.chips = std::move(chips);
}
