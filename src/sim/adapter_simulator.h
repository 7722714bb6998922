#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <span>
#include <vector>

#include "sim/flash_memory.h"
#include "sim/sim_config.h"
#include "sim/simulated_device.h"

// The adapter's firmware, as the host sees it: a socket with its chips, the
// chip's flash, and a boot loader with its own firmware store. It decodes
// each raw request, answers with the fields the host relies on, and shows the
// faults its configuration asks for. Every request it receives is kept, so a
// test can check a job's requests byte for byte.
//
// Requests arrive on the writer's thread, plug events on the bus's thread, and
// the inspection calls may come from anywhere: one mutex guards it all.
class AdapterSimulator : public SimulatedDevice {
  public:
    explicit AdapterSimulator(SimConfig config = {});

    DeviceAnswer OnReport(const std::uint8_t* report, std::size_t length) override;
    void OnPlugged(bool present) override;

    // The 272 payload bytes of every request received, in order. Failed and
    // short writes never reached the firmware and are not in it.
    std::vector<Payload> transcript() const;
    void ClearTranscript();
    // The adapter behaves as this simulator usually does from now on, its
    // quirks gone with its faults; what it already did stays done.
    void ClearFaults();
    // Reports written to the adapter, received or not.
    int requestCount() const;

    // Chip flash and firmware store as they are now; empty when out of range.
    std::vector<std::uint8_t> flash(std::uint32_t address, std::size_t length) const;
    std::vector<std::uint8_t> firmware(std::uint32_t wordAddress, std::size_t words) const;
    bool bootMode() const;

    // A chip that comes with data on it.
    bool PresetFlash(std::uint32_t address, std::span<const std::uint8_t> bytes);
    // Another set of chips in the socket; the flash stays as it is.
    void SetChips(std::vector<std::uint8_t> chips);

  private:
    void Answer(const Payload& request, Payload& reply, DeviceAnswer& answer);
    void AnswerApplication(const Payload& request, Payload& reply, DeviceAnswer& answer);
    void AnswerBootLoader(const Payload& request, Payload& reply);

    void Detect(Payload& reply) const;
    void ReadId(Payload& reply) const;
    void EraseChip(Payload& reply);
    void WriteChipBlock(const Payload& request, Payload& reply);
    void ReadChipBlock(const Payload& request, Payload& reply) const;
    void EnterBoot(Payload& reply, DeviceAnswer& answer);
    void ReadBootId(Payload& reply) const;
    void EraseFirmware(Payload& reply);
    void WriteFirmwareBlock(const Payload& request, Payload& reply);
    void LeaveBoot(Payload& reply);

    bool IsWriteRefused();
    void ApplyReplyFaults(int number, const Payload& request, DeviceAnswer& answer);
    void ApplyQuirks(int number, const Payload& request, DeviceAnswer& answer) const;
    Payload EarlierReply(const Payload& request) const;
    void CorruptData(Payload& reply);
    int LatencyOf(std::uint8_t code) const;

    SimConfig config_;
    mutable std::mutex mutex_;
    FlashMemory chipFlash_;
    FlashMemory firmwareStore_;
    std::vector<Payload> transcript_;
    struct Answered {
        int number;
        Payload reply;
    };
    std::map<std::uint8_t, Answered> lastAnswers_;  // the latest reply sent with each echo code
    std::mt19937 damage_;
    int requestCount_ = 0;
    int writeBlockCount_ = 0;
    bool bootMode_ = false;
    bool restartPending_ = false;
};
