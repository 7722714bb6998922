// The adapter link against a real kernel HID device: the real hidapi backend,
// the real udev hot-plug source, the device-change logic and the transport,
// with the uhid adapter program playing the adapter. It runs inside a small
// virtual machine whose kernel has uhid (see run_vm_test.sh), prints one PASS
// or FAIL line per check and a closing RESULT line, and exits non-zero when a
// check failed.
//
//   vm_link_test --adapter=PATH [--fault=silent|wrong-echo] [--label=TEXT]

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "adapter_process.h"
#include "engine/little_endian.h"
#include "engine/protocol.h"
#include "link/adapter_link.h"
#include "link/hidapi_backend.h"
#include "link/udev_hotplug.h"
#include "link/window_messages.h"
#include "link_probes.h"
#include "support/event_loop.h"
#include "support/message_recorder.h"
#include "vm_adapter_config.h"

namespace {

using Entry = MessageRecorder::Entry;
using Failure = std::string;  // empty when the check passed

constexpr int kReplyTimeoutMs = 2000;   // short, so the silent checks stay quick
constexpr int kReopenDelayMs = 200;     // the real one: the delay itself is under test
constexpr int kEarliestReopenMs = 190;  // Qt's coarse timers may fire up to 5% early
constexpr int kUdevLimitMs = 15000;     // safety net for a hot-plug event under emulation

// The chip in the adapter's socket.
const std::uint8_t kChip = VmAdapterConfig().chips.front();

LinkTiming VmTiming() {
    LinkTiming t;
    t.replyTimeoutMs = kReplyTimeoutMs;
    t.reopenDelayMs = kReopenDelayMs;
    return t;
}

std::string Byte(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

// Where two byte runs first differ, in words; empty when they are equal.
std::string Difference(const std::uint8_t* got, const std::uint8_t* want, std::size_t count,
                       const char* what) {
    for (std::size_t i = 0; i < count; ++i) {
        if (got[i] != want[i])
            return std::string(what) + " byte " + std::to_string(i) + " is " + Byte(got[i]) +
                   ", expected " + Byte(want[i]);
    }
    return {};
}

std::string DescribeMenus(const std::vector<Entry>& menus) {
    std::string text;
    for (const Entry& m : menus)
        text += "(" + std::to_string(m.wParam) + "," + std::to_string(m.lParam) + ")";
    return text.empty() ? "none" : text;
}

// Everything the checks share: the link on the real stack and the device.
struct VmLink {
    QElapsedTimer clock;
    AdapterProcess adapter;
    HidapiBackend hidapi;
    RecordingBackend backend{hidapi, clock};
    UdevHotplug udev;
    TapHotplug hotplug{udev, clock};
    MessageRecorder replies;
    MessageRecorder menus;
    AdapterLink link{backend, &hotplug, &replies, VmTiming()};
    Payload lastReply{};

    VmLink() {
        clock.start();
        link.SetMenuTarget(&menus);
    }

    Failure Device(const std::string& command) {
        std::string error;
        return adapter.Command(command, &error) ? Failure{} : error;
    }

    // Sends one request and waits for its one outcome.
    std::optional<Entry> Exchange(const Payload& request) {
        const std::size_t before = replies.of(WM_ADAPTER_REPLY).size();
        link.SendAdapterReport(request.data(), request.size(), 1);
        if (!RunUntil([&] { return replies.of(WM_ADAPTER_REPLY).size() > before; },
                      kReplyTimeoutMs + 5000))
            return std::nullopt;
        return replies.of(WM_ADAPTER_REPLY)[before];
    }

    // A request that must be answered: its outcome, echo and exact report on the wire.
    Failure ExpectReply(const char* what, const Payload& request, Payload* reply) {
        std::optional<Entry> outcome = Exchange(request);
        if (!outcome) return std::string(what) + ": no outcome was posted at all";
        if (outcome->wParam != REPLY_READY || outcome->lParam != 1)
            return std::string(what) + ": outcome (" + std::to_string(outcome->wParam) + "," +
                   std::to_string(outcome->lParam) + ") where a reply (1,1) was expected" +
                   (outcome->wParam == REPLY_TIMEOUT ? " - the device did not answer in time" : "");
        lastReply = outcome->reply;  // what a later time-out must repeat
        if (outcome->reply[0] != request[0])
            return std::string(what) + ": reply byte 0 is " + std::to_string(outcome->reply[0]) +
                   " where the echo of the command code " + std::to_string(request[0]) +
                   " was expected";
        const std::vector<std::uint8_t> written = adapter.LastOutputReport();
        if (written.size() != kReportSize)
            return std::string(what) + ": the device received " + std::to_string(written.size()) +
                   " bytes, expected a whole report of 273";
        if (written[0] != 0)
            return std::string(what) + ": the report id on the wire is " + Byte(written[0]) +
                   ", expected 0";
        if (Failure f = Difference(written.data() + 1, request.data(), kPayloadSize,
                                   "request payload on the wire");
            !f.empty())
            return std::string(what) + ": " + f;
        *reply = outcome->reply;
        return {};
    }

    // Waits for the adapter's arrival and for the reopen timer to open it.
    Failure ExpectArrivalAndReopen() {
        if (!RunUntil([&] { return link.attached(); }, kUdevLimitMs))
            return "no arrival of the adapter was reported within " +
                   std::to_string(kUdevLimitMs / 1000) + " s (" + std::to_string(hotplug.events) +
                   " hot-plug events seen)";
        // Whether the link opened too early is told by the times below, which
        // a busy machine cannot blur the way it can blur this moment.
        if (!link.isOpen() && !link.reopenPending()) return "arrival started no reopen timer";
        if (!RunUntil([&] { return link.isOpen(); }, kReopenDelayMs + 5000))
            return "the reopen timer did not open the adapter; hidapi lists: " +
                   backend.DescribeListing();
        const qint64 delay = backend.lastOpenMs - hotplug.lastArrivalMs;
        if (delay < kEarliestReopenMs)
            return "the link opened " + std::to_string(delay) +
                   " ms after the arrival, before the reopen delay";
        std::printf("  reopened %lld ms after the arrival\n", static_cast<long long>(delay));
        return {};
    }
};

Payload Request(std::uint8_t code) {
    Payload p{};
    p[0] = code;
    return p;
}

Failure CheckStartWithoutAdapter(VmLink& t) {
    if (!t.udev.isListening()) return "the udev monitor could not be set up";
    t.link.Initialise();
    RunFor(20);
    if (t.link.attached() || t.link.isOpen()) return "the link believes an adapter is present";
    const std::vector<Entry> menus = t.menus.of(WM_ADAPTER_MENUS);
    if (menus.size() != 2 || menus[0].wParam != 2 || menus[0].lParam != 0 || menus[1].wParam != 1 ||
        menus[1].lParam != 0)
        return "menus posted " + DescribeMenus(menus) + ", expected (2,0)(1,0)";
    return {};
}

Failure CheckSendWithoutAdapter(VmLink& t) {
    std::optional<Entry> outcome = t.Exchange(Request(CMD_DETECT));
    if (!outcome) return "no outcome was posted";
    if (outcome->wParam != REPLY_NO_HANDLE || outcome->lParam != 0)
        return "outcome (" + std::to_string(outcome->wParam) + "," +
               std::to_string(outcome->lParam) + "), expected the missing write handle (2,0)";
    RunFor(50);
    if (t.replies.of(WM_ADAPTER_REPLY).size() != 1) return "more than one outcome was posted";
    return {};
}

Failure CheckArrival(VmLink& t) {
    t.menus.entries.clear();
    t.hotplug.lastArrivalMs = -1;
    if (Failure f = t.Device("create"); !f.empty()) return f;
    if (Failure f = t.ExpectArrivalAndReopen(); !f.empty()) return f;
    RunFor(20);
    const std::vector<Entry> menus = t.menus.of(WM_ADAPTER_MENUS);
    if (menus.size() != 2 || menus[0].wParam != 1 || menus[0].lParam != 1 || menus[1].wParam != 2 ||
        menus[1].lParam != 1)
        return "menus posted " + DescribeMenus(menus) + ", expected (1,1)(2,1)";
    return {};
}

Failure CheckDetect(VmLink& t) {
    Payload request = Request(CMD_DETECT);
    request[OFFSET_CHIP_INDEX] = ChipCatalogue::kNoChip;  // ride along on every request
    request[OFFSET_ACCESS_MODE] = ACCESS_JTAG;
    Payload reply{};
    if (Failure f = t.ExpectReply("detect", request, &reply); !f.empty()) return f;
    const int count = LoadU16(&reply[OFFSET_CHIP_COUNT]);
    if (count != 1) return "detect: chip count " + std::to_string(count) + ", expected 1";
    if (reply[OFFSET_CHIP_TYPES] != kChip)
        return "detect: chip type " + std::to_string(reply[OFFSET_CHIP_TYPES]) +
               " at byte 16, expected " + std::to_string(kChip);
    return {};
}

// A page written to the serial flash comes back as read back: every byte of
// the request travels out and every byte of the reply travels in.
Failure CheckWriteReadRoundTrip(VmLink& t) {
    constexpr std::uint32_t kAddress = 0x1200;
    Payload request = Request(CMD_WRITE_BLOCK);
    request[OFFSET_BLOCK_LENGTH + 1] = LENGTH_WRITE_BIT;
    request[OFFSET_CHIP_INDEX] = kChip;
    StoreU32(&request[OFFSET_BLOCK_ADDRESS], kAddress);
    StoreU32(&request[OFFSET_IMAGE_SIZE], 0x4000);
    for (std::size_t i = OFFSET_DATA; i < kPayloadSize; ++i) request[i] = std::uint8_t(i * 7 + 3);
    Payload reply{};
    if (Failure f = t.ExpectReply("write block", request, &reply); !f.empty()) return f;
    Payload expected{};
    expected[OFFSET_COMMAND] = CMD_WRITE_BLOCK;
    StoreU32(&expected[OFFSET_BLOCK_ADDRESS], kAddress);
    expected[OFFSET_STATUS] = STATUS_ACK;
    std::copy(request.begin() + OFFSET_DATA, request.end(), expected.begin() + OFFSET_DATA);
    if (Failure f = Difference(reply.data(), expected.data(), kPayloadSize, "reply"); !f.empty())
        return "write block: " + f;
    return {};
}

Failure CheckTimeoutWhenSilent(VmLink& t) {
    if (Failure f = t.Device("silent on"); !f.empty()) return f;
    const Payload previous = t.lastReply;
    const qint64 sent = t.clock.elapsed();
    std::optional<Entry> outcome = t.Exchange(Request(CMD_VERIFY));
    const qint64 waited = t.clock.elapsed() - sent;
    if (Failure f = t.Device("silent off"); !f.empty()) return f;
    if (!outcome) return "no outcome was posted for the unanswered request";
    if (outcome->wParam != REPLY_TIMEOUT || outcome->lParam != 1)
        return "outcome (" + std::to_string(outcome->wParam) + "," +
               std::to_string(outcome->lParam) +
               ") for a silent device, expected the time-out (0,1)";
    if (waited < kReplyTimeoutMs)
        return "the time-out came after " + std::to_string(waited) +
               " ms, before the reply time-out";
    if (Failure f = Difference(outcome->reply.data(), previous.data(), kPayloadSize, "reply copy");
        !f.empty())
        return "after the time-out the " + f + " (it must keep the previous reply)";
    Payload reply{};
    return t.ExpectReply("detect after the time-out", Request(CMD_DETECT), &reply);
}

Failure CheckRemovalWhileAwaiting(VmLink& t) {
    if (Failure f = t.Device("silent on"); !f.empty()) return f;
    const std::size_t before = t.replies.of(WM_ADAPTER_REPLY).size();
    const Payload request = Request(CMD_DETECT);
    const qint64 sent = t.clock.elapsed();
    t.link.SendAdapterReport(request.data(), request.size(), 1);
    RunFor(50);
    t.menus.entries.clear();
    if (Failure f = t.Device("destroy"); !f.empty()) return f;
    if (!RunUntil([&] { return !t.link.attached(); }, kUdevLimitMs))
        return "the removal of the adapter was not reported";
    if (t.link.isOpen()) return "the link is still open after the removal";
    // Until the reader's own time-out has passed.
    RunFor(int(std::max<qint64>(sent + kReplyTimeoutMs + 300 - t.clock.elapsed(), 0)));
    if (Failure f = t.Device("silent off"); !f.empty()) return f;
    const std::vector<Entry> outcomes = t.replies.of(WM_ADAPTER_REPLY);
    if (outcomes.size() != before)
        return "the request cut off by the removal still posted outcome (" +
               std::to_string(outcomes.back().wParam) + "," +
               std::to_string(outcomes.back().lParam) + ")";
    const std::vector<Entry> menus = t.menus.of(WM_ADAPTER_MENUS);
    if (menus.size() != 2 || menus[0].wParam != 2 || menus[0].lParam != 0 || menus[1].wParam != 1 ||
        menus[1].lParam != 0)
        return "menus posted " + DescribeMenus(menus) + ", expected (2,0)(1,0)";
    return {};
}

Failure CheckReArrival(VmLink& t) {
    t.hotplug.lastArrivalMs = -1;
    if (Failure f = t.Device("create"); !f.empty()) return f;
    if (Failure f = t.ExpectArrivalAndReopen(); !f.empty()) return f;
    Payload reply{};
    return t.ExpectReply("detect on the new device", Request(CMD_DETECT), &reply);
}

// The boot loader's answer to the read id sent on reopening: its own version and id.
Failure CheckBootLoaderId(const Entry& outcome) {
    const SimConfig config = VmAdapterConfig();
    const int version = LoadU16(&outcome.reply[OFFSET_BOOT_VERSION]);
    const int id = LoadU16(&outcome.reply[OFFSET_BOOT_ID]);
    if (outcome.wParam != REPLY_READY || outcome.reply[OFFSET_COMMAND] != CMD_READ_ID ||
        version != config.bootVersion || id != config.bootId)
        return "read id after the restart: outcome " + std::to_string(outcome.wParam) + ", code " +
               std::to_string(outcome.reply[OFFSET_COMMAND]) + ", boot loader version " +
               std::to_string(version) + " and id " + std::to_string(id) + ", expected " +
               std::to_string(config.bootVersion) + " and " + std::to_string(config.bootId);
    return {};
}

// The boot loader answers, leaves the bus and comes back as a new device; the
// reopen then continues on the new connection, as a firmware update does.
Failure CheckBootLoaderRestart(VmLink& t) {
    bool reopened = false;
    t.link.SetReopenHook([&] {
        reopened = true;
        Payload readId = Request(CMD_READ_ID);
        readId[OFFSET_CHIP_INDEX] = kChip;
        t.link.SendAdapterReport(readId.data(), readId.size(), 1);
    });
    const int removalsBefore = t.hotplug.removals;
    t.hotplug.lastArrivalMs = -1;
    Payload reply{};
    Failure f = t.ExpectReply("enter boot", Request(CMD_ENTER_BOOT), &reply);
    if (f.empty() && reply[OFFSET_STATUS] != BOOT_RESTARTING)
        f = "enter boot: status " + Byte(reply[OFFSET_STATUS]) + ", expected the restart 0x58";
    const std::size_t before = t.replies.of(WM_ADAPTER_REPLY).size();
    // The removal and the return can be handled in one go, so the removal is
    // counted rather than looked for in `attached`.
    if (f.empty() && !RunUntil([&] { return t.hotplug.removals > removalsBefore; }, kUdevLimitMs))
        f = "the restarting adapter's removal was not reported";
    if (f.empty()) f = t.ExpectArrivalAndReopen();
    if (f.empty() && !reopened) f = "the reopen did not continue on the new connection";
    if (f.empty() && !RunUntil([&] { return t.replies.of(WM_ADAPTER_REPLY).size() > before; },
                               kReplyTimeoutMs + 5000))
        f = "the request sent on reopening got no outcome";
    t.link.SetReopenHook(nullptr);
    return f.empty() ? CheckBootLoaderId(t.replies.of(WM_ADAPTER_REPLY)[before]) : f;
}

struct Options {
    QString adapter;
    QString fault = "none";
    std::string label = "vm";
};

bool ParseOptions(const QStringList& args, Options* options) {
    for (const QString& arg : args.mid(1)) {
        if (arg.startsWith("--adapter="))
            options->adapter = arg.mid(10);
        else if (arg.startsWith("--fault="))
            options->fault = arg.mid(8);
        else if (arg.startsWith("--label="))
            options->label = arg.mid(8).toStdString();
        else
            return false;
    }
    return !options->adapter.isEmpty();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    if (!ParseOptions(app.arguments(), &options)) {
        std::fprintf(
            stderr,
            "usage: vm_link_test --adapter=PATH [--fault=silent|wrong-echo] [--label=TEXT]\n");
        return 2;
    }
    const char* source =
        ::access("/run/udev/control", F_OK) == 0 ? "udevd's events" : "the kernel's events";
    std::printf("vm_link_test [%s]: hot-plug from %s\n", options.label.c_str(), source);

    VmLink t;
    std::string error;
    if (!t.adapter.Start(options.adapter, {"--fault=" + options.fault}, &error)) {
        std::printf(
            "FAIL [%s] uhid adapter: %s\nRESULT [%s]: FAIL (the device could not be started)\n",
            options.label.c_str(), error.c_str(), options.label.c_str());
        return 1;
    }

    const std::pair<const char*, std::function<Failure(VmLink&)>> checks[] = {
        {"start without adapter", CheckStartWithoutAdapter},
        {"send without adapter", CheckSendWithoutAdapter},
        {"arrival, reopen after 200 ms", CheckArrival},
        {"detect round trip", CheckDetect},
        {"write/read round trip", CheckWriteReadRoundTrip},
        {"time-out when silent", CheckTimeoutWhenSilent},
        {"removal while a reply is awaited", CheckRemovalWhileAwaiting},
        {"removal and re-arrival", CheckReArrival},
        {"boot-loader restart", CheckBootLoaderRestart},
    };
    int failed = 0;
    for (const auto& [name, check] : checks) {
        const Failure failure = check(t);
        if (failure.empty())
            std::printf("PASS [%s] %s\n", options.label.c_str(), name);
        else
            std::printf("FAIL [%s] %s: %s\n", options.label.c_str(), name, failure.c_str());
        std::fflush(stdout);
        failed += failure.empty() ? 0 : 1;
    }
    t.link.CloseAdapter();
    const int total = int(std::size(checks));
    if (failed == 0)
        std::printf("RESULT [%s]: PASS (%d checks)\n", options.label.c_str(), total);
    else
        std::printf("RESULT [%s]: FAIL (%d of %d checks failed)\n", options.label.c_str(), failed,
                    total);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
