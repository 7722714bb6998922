#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/protocol.h"
#include "link/link_timing.h"

// Everything that makes one simulated adapter differ from another: what sits
// in its socket, how fast it answers, how its boot loader starts, and which
// faults it shows. Faults are fixed up front (by hand or from a seed) so that
// a run can be repeated exactly.
struct SimConfig {
    static constexpr int kNever = -1;
    static constexpr int kEveryRequest = -2;

    enum class BootEntry {
        Ready,       // BOOT_READY: boot mode at once, on the same connection
        Restarting,  // BOOT_RESTARTING: leaves the bus and comes back in boot mode
    };

    // Request numbers count every report written to the adapter from 0, the
    // failed and short writes included.
    struct Faults {
        // The silent requests are carried out; only their replies are lost.
        int silentRequest = kNever;     // no reply to this request
        int silentCommand = kNever;     // no reply to any request with this code
        bool refuseErase = false;       // erase answers STATUS_NAK and erases nothing
        int refuseWriteBlock = kNever;  // the write block with this number (from 0) is refused
        std::uint8_t writeRefusalStatus = STATUS_NAK;
        int corruptReadBack =
            kNever;            // this request's read-back data arrives damaged (or kEveryRequest)
        int corruptBytes = 1;  // how many bytes of it
        int wrongEchoRequest = kNever;     // the reply to this request names another code...
        std::uint8_t wrongEchoCode = 2;    // ...this one
        int unplugAfterRequest = kNever;   // the adapter drops off the bus once this reply is read
        int unplugReturnAfterMs = kNever;  // and is back this long afterwards (never by default)
        int shortWriteRequest = kNever;    // this write transfers only shortWriteBytes
        int shortWriteBytes = 64;
        int failWriteRequest = kNever;  // this write fails with failWriteError
        int failWriteError = 31;
        int nakRequest = kNever;        // this request is answered with STATUS_NAK, whatever it asked
        int lateRequest = kNever;       // this reply comes lateReplyMs after its request...
        int lateReplyMs = 60000;        // ...long after any host has stopped waiting for it
        std::uint32_t seed = 1;  // where damage lands and what it does

        bool operator==(const Faults&) const = default;
    };

    // Ways of a sound adapter that this simulator does not show unless asked:
    // each stays within the protocol, so a host must take it for success.
    // Request numbers count as the faults' do.
    struct Quirks {
        // This request is carried out, then the adapter restarts instead of
        // answering: it leaves the bus at once and comes back in application
        // mode restartReturnAfterMs later. After CMD_FIRMWARE_DONE this is how
        // a boot loader hands over to its new firmware; anywhere else it is a
        // fault like any removal.
        int restartRequest = kNever;
        int restartReturnAfterMs = 100;
        int slowRequest = kNever;  // this reply comes slowReplyMs after its request...
        int slowReplyMs = 5940;    // ...just inside a host's 6000 ms
        // A reply to an earlier request is in the host's way: it arrives just
        // as this request goes out, ahead of this request's own reply; or,
        // early, the reply before it comes twice, so that the copy is already
        // waiting when this request goes out.
        int staleReplyRequest = kNever;
        bool staleReplyEarly = false;

        bool operator==(const Quirks&) const = default;
    };

    // Chip types in the socket, in the order detection reports them.
    std::vector<std::uint8_t> chips = {1};
    std::uint16_t picVersion = 0x0C0A;      // reported for PIC24 chips (types 1 and 3)
    std::string deviceName = "uPD78F1166";  // reported for a 78K0R (type 6)

    int latencyMs = 0;                             // every reply, unless its command has its own
    std::map<std::uint8_t, int> commandLatencyMs;  // by command code

    BootEntry bootEntry = BootEntry::Restarting;
    // From the BOOT_RESTARTING reply being read to leaving the bus. A real
    // adapter resets a moment after its answer; leaving at once could pull
    // the link away before the host has taken the answer in.
    int leaveDelayMs = 30;
    int reconnectDelayMs = 100;  // from leaving to arriving again in boot mode
    std::uint16_t bootVersion = 0x0103;
    std::uint16_t bootId = 0x4202;
    std::uint32_t firmwareWords = 0x20000;  // size of the firmware store in 16-bit words
    std::uint32_t bootAreaWords = 0x1400;   // the boot loader's own words, never erased or written

    Faults faults;
    Quirks quirks;
    // Keep every request for inspection (tests do); a long session of the
    // program or the command line would only grow with it.
    bool keepTranscript = true;
};

// One fault, its kind and its request number in [0, requestSpan) chosen by the
// seed; the same seed always gives the same faults.
SimConfig::Faults SeededFaults(std::uint32_t seed, int requestSpan);

// The adapter's lawful ways, by the names a user asks for them with.
enum class SimQuirk {
    Restart,      // "restart": restarts instead of answering the request
    SlowReply,    // "slow": the reply comes just inside the host's reply time-out
    StaleReply,   // "stale": a reply to an earlier request arrives ahead of this one's
    BootRestart,  // "boot-restart": boot entry by restart, leaving and coming back within the reconnect deadline
};

// Gives config the quirk at request, its details (how near the time-out, how
// long away) drawn from seed within the waits of a host timed by host, so
// that a sound host never gives up on it. The same seed gives the same config.
void SeedQuirk(SimConfig& config, SimQuirk quirk, int request, std::uint32_t seed,
               const LinkTiming& host = {});
// The same by name; the request number seeds the details. False for a name
// that is none of the quirks'.
bool ApplyNamedQuirk(SimConfig& config, const std::string& name, int request);
