// Plays the adapter as a real kernel HID device through /dev/uhid, so that the
// link's real backend and hot-plug code meet hidraw nodes and udev events as
// they would with the adapter on a USB port.
//
// Commands arrive one per line on standard input; each gets one answer line
// on standard output ("ok ..." or "error ..."), which lets the driving test
// wait for a command to have taken effect. Everything else is logged to
// standard error.
//
//   create          put the adapter on the bus (a new device each time)
//   destroy         take it off the bus, as a pull-out would
//   silent on|off   swallow requests without answering, or answer again
//   latency MS      answer every request MS later than the firmware would
//   last            the last output report, as 273 bytes of hex
//   count           how many output reports have arrived
//   dump START LENGTH FILE
//                   write the chip's flash from START (both in hex) to FILE
//   quit            take the device off the bus and end
//
// Options: --create puts the adapter on the bus at once; --serial=TEXT is the
// serial number the device reports (its uniq string; by default the number of
// the device this process created); --quiet leaves out the line per report,
// which a whole chip's worth of reports would flood the console with;
// --fault=silent never answers; --fault=wrong-echo answers with a command code
// other than the one asked (both exist to prove that the checks catch a
// broken device).

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/adapter_simulator.h"
#include "vm_adapter_config.h"

namespace {

// Vendor page 0xFF00, one application collection with an unnumbered 272-byte
// input report and an unnumbered 272-byte output report: the adapter's own.
constexpr std::uint8_t kReportDescriptor[] = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x96,
    0x10, 0x01, 0x09, 0x01, 0x81, 0x02, 0x96, 0x10, 0x01, 0x09, 0x01, 0x91, 0x02, 0xC0,
};
static_assert(sizeof kReportDescriptor == 29);

constexpr std::uint16_t kBusUsb = 0x03;
constexpr std::uint32_t kVersion = 0x0100;

enum class Fault { None, Silent, WrongEcho };

struct AdapterOptions {
    Fault fault = Fault::None;
    bool createAtOnce = false;
    bool quiet = false;
    std::string serial;
};

using Clock = std::chrono::steady_clock;

void Log(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(stderr, "uhid_adapter: %s\n", text);
}

void Answer(const std::string& line) {
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += std::size_t(n);
    }
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

class UhidAdapter {
  public:
    UhidAdapter(AdapterSimulator& device, const AdapterOptions& options)
        : device_(device), fault_(options.fault), quiet_(options.quiet), serial_(options.serial) {}
    ~UhidAdapter() {
        if (fd_ >= 0) {
            Destroy();
            ::close(fd_);
        }
    }

    bool Open() {
        fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (fd_ < 0) Log("cannot open /dev/uhid: %s", std::strerror(errno));
        return fd_ >= 0;
    }

    bool Create();
    bool Destroy();
    int Run();

  private:
    struct PendingReply {
        Clock::time_point due;
        Payload payload;
        int leaveAfterMs;
        int returnAfterMs;
    };

    bool Send(const uhid_event& event);
    void OnUhidReadable();
    void OnOutput(const uhid_output_req& output);
    void RefuseGetReport(std::uint32_t id);
    void RefuseSetReport(std::uint32_t id);
    bool OnStdinReadable();
    void OnCommand(const std::string& line);
    std::string Dump(const std::string& arguments) const;
    void RunDueActions();
    int MsToNextAction() const;

    AdapterSimulator& device_;
    Fault fault_;
    bool quiet_;
    std::string serial_;
    int fd_ = -1;
    bool present_ = false;
    bool silent_ = false;
    int extraLatencyMs_ = 0;
    bool quit_ = false;
    int instance_ = 0;
    std::deque<PendingReply> replies_;
    std::optional<Clock::time_point> leaveAt_;
    std::optional<Clock::time_point> returnAt_;
    int returnAfterMs_ = -1;
    std::vector<std::uint8_t> lastOutput_;
    int outputs_ = 0;
    std::string stdinText_;
};

bool UhidAdapter::Send(const uhid_event& event) {
    // uhid takes each event in one write of the whole structure.
    for (;;) {
        const ssize_t n = ::write(fd_, &event, sizeof event);
        if (n == ssize_t(sizeof event)) return true;
        if (n < 0 && errno == EINTR) continue;
        Log("write of uhid event %u failed: %s", unsigned(event.type),
            n < 0 ? std::strerror(errno) : "short write");
        return false;
    }
}

bool UhidAdapter::Create() {
    if (present_) return false;
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    event->type = UHID_CREATE2;
    uhid_create2_req& req = event->u.create2;
    ++instance_;
    std::snprintf(reinterpret_cast<char*>(req.name), sizeof req.name, "QZProgrammer");
    // A serial of its own keeps two adapters on one bus apart, as real ones are.
    const std::string uniq = serial_.empty() ? std::to_string(instance_) : serial_;
    std::snprintf(reinterpret_cast<char*>(req.phys), sizeof req.phys, "uhid/adapter-%s",
                  uniq.c_str());
    std::snprintf(reinterpret_cast<char*>(req.uniq), sizeof req.uniq, "%s", uniq.c_str());
    req.rd_size = sizeof kReportDescriptor;
    req.bus = kBusUsb;
    req.vendor = kAdapterVendorId;
    req.product = kAdapterProductId;
    req.version = kVersion;
    req.country = 0;
    std::memcpy(req.rd_data, kReportDescriptor, sizeof kReportDescriptor);
    if (!Send(*event)) return false;
    present_ = true;
    device_.OnPlugged(true);
    Log("device %d created", instance_);
    return true;
}

bool UhidAdapter::Destroy() {
    if (!present_) return false;
    uhid_event event{};
    event.type = UHID_DESTROY;
    const bool sent = Send(event);
    present_ = false;
    // Replies still due belong to the device that left.
    replies_.clear();
    leaveAt_.reset();
    device_.OnPlugged(false);
    Log("device %d destroyed", instance_);
    return sent;
}

void UhidAdapter::OnUhidReadable() {
    auto event = std::make_unique<uhid_event>();
    const ssize_t n = ::read(fd_, event.get(), sizeof *event);
    if (n < 0) {
        if (errno != EINTR && errno != EAGAIN)
            Log("read from /dev/uhid failed: %s", std::strerror(errno));
        return;
    }
    switch (event->type) {
        case UHID_START:
            Log("start");
            break;
        case UHID_STOP:
            Log("stop");
            break;
        case UHID_OPEN:
            Log("open");
            break;
        case UHID_CLOSE:
            Log("close");
            break;
        case UHID_OUTPUT:
            OnOutput(event->u.output);
            break;
        case UHID_GET_REPORT:
            RefuseGetReport(event->u.get_report.id);
            break;
        case UHID_SET_REPORT:
            RefuseSetReport(event->u.set_report.id);
            break;
        default:
            Log("uhid event %u ignored", unsigned(event->type));
            break;
    }
}

void UhidAdapter::OnOutput(const uhid_output_req& output) {
    const std::size_t size = std::min<std::size_t>(output.size, sizeof output.data);
    lastOutput_.assign(output.data, output.data + size);
    ++outputs_;
    if (!quiet_)
        Log("output %zu bytes, report id %u, code %u", size, unsigned(size ? output.data[0] : 0),
            unsigned(size > 1 ? output.data[1] : 0));
    if (silent_ || fault_ == Fault::Silent) return;
    const DeviceAnswer answer = device_.OnReport(output.data, size);
    if (!answer.reply) return;
    const int latencyMs = answer.latencyMs + extraLatencyMs_;
    PendingReply pending{Clock::now() + std::chrono::milliseconds(latencyMs), answer.payload,
                         answer.leaveAfterMs, answer.returnAfterMs};
    if (fault_ == Fault::WrongEcho) pending.payload[0] = std::uint8_t(pending.payload[0] + 1);
    replies_.push_back(pending);
}

void UhidAdapter::RefuseGetReport(std::uint32_t id) {
    // The adapter has no feature reports; refusing keeps the kernel from
    // waiting out its own time-out.
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    event->type = UHID_GET_REPORT_REPLY;
    event->u.get_report_reply.id = id;
    event->u.get_report_reply.err = EIO;
    Send(*event);
    Log("get report refused");
}

void UhidAdapter::RefuseSetReport(std::uint32_t id) {
    uhid_event event{};
    event.type = UHID_SET_REPORT_REPLY;
    event.u.set_report_reply.id = id;
    event.u.set_report_reply.err = EIO;
    Send(event);
    Log("set report refused");
}

void UhidAdapter::RunDueActions() {
    const Clock::time_point now = Clock::now();
    while (!replies_.empty() && replies_.front().due <= now) {
        const PendingReply reply = replies_.front();
        replies_.pop_front();
        if (!present_) continue;
        auto event = std::make_unique<uhid_event>();
        std::memset(event.get(), 0, sizeof *event);
        event->type = UHID_INPUT2;
        // The device is unnumbered: the input report is the payload alone.
        event->u.input2.size = kPayloadSize;
        std::memcpy(event->u.input2.data, reply.payload.data(), kPayloadSize);
        if (Send(*event) && !quiet_) Log("reply sent, code %u", unsigned(reply.payload[0]));
        if (reply.leaveAfterMs >= 0) {
            leaveAt_ = Clock::now() + std::chrono::milliseconds(reply.leaveAfterMs);
            returnAfterMs_ = reply.returnAfterMs;
        }
    }
    if (leaveAt_ && *leaveAt_ <= now) {
        leaveAt_.reset();
        Destroy();
        if (returnAfterMs_ >= 0)
            returnAt_ = Clock::now() + std::chrono::milliseconds(returnAfterMs_);
    }
    if (returnAt_ && *returnAt_ <= now) {
        returnAt_.reset();
        Create();
    }
}

int UhidAdapter::MsToNextAction() const {
    std::optional<Clock::time_point> next;
    auto consider = [&](Clock::time_point t) {
        if (!next || t < *next) next = t;
    };
    if (!replies_.empty()) consider(replies_.front().due);
    if (leaveAt_) consider(*leaveAt_);
    if (returnAt_) consider(*returnAt_);
    if (!next) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
    return int(std::max<long long>(left, 0));
}

bool UhidAdapter::OnStdinReadable() {
    char chunk[256];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;  // the driver went away
    stdinText_.append(chunk, std::size_t(n));
    for (std::size_t end; (end = stdinText_.find('\n')) != std::string::npos;) {
        const std::string line = stdinText_.substr(0, end);
        stdinText_.erase(0, end + 1);
        OnCommand(line);
    }
    return true;
}

void UhidAdapter::OnCommand(const std::string& line) {
    if (line == "create") {
        Answer(Create() ? "ok create" : "error create");
    } else if (line == "destroy") {
        Answer(Destroy() ? "ok destroy" : "error destroy");
    } else if (line == "silent on" || line == "silent off") {
        silent_ = line == "silent on";
        Answer("ok " + line);
    } else if (line.rfind("latency ", 0) == 0) {
        extraLatencyMs_ = std::max(0, std::atoi(line.c_str() + 8));
        Answer("ok " + line);
    } else if (line == "last") {
        Answer("ok last " + Hex(lastOutput_.data(), lastOutput_.size()));
    } else if (line == "count") {
        Answer("ok count " + std::to_string(outputs_));
    } else if (line.rfind("dump ", 0) == 0) {
        const std::string error = Dump(line.substr(5));
        Answer(error.empty() ? "ok dump" : "error dump: " + error);
    } else if (line == "quit") {
        Destroy();
        Answer("ok quit");
        quit_ = true;
    } else {
        Answer("error unknown command: " + line);
    }
}

// The flash as the firmware holds it now, for a test to compare with what was
// programmed through the host.
std::string UhidAdapter::Dump(const std::string& arguments) const {
    std::istringstream words(arguments);
    std::uint32_t start = 0;
    std::size_t length = 0;
    std::string file;
    if (!(words >> std::hex >> start >> length >> file)) return "expected START LENGTH FILE";
    const std::vector<std::uint8_t> bytes = device_.flash(start, length);
    if (bytes.size() != length) return "the range lies outside the flash";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return file + ": " + std::strerror(errno);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = std::fclose(out) == 0;
    return written && closed ? std::string{} : file + ": write failed";
}

int UhidAdapter::Run() {
    Answer("ready");
    while (!quit_) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = ::poll(fds, 2, MsToNextAction());
        if (ready < 0 && errno != EINTR) {
            Log("poll failed: %s", std::strerror(errno));
            return 1;
        }
        if (ready > 0 && (fds[0].revents & POLLIN)) OnUhidReadable();
        if (ready > 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
            if (!OnStdinReadable()) break;
        }
        RunDueActions();
    }
    return 0;
}

bool ParseFault(const char* text, Fault* fault) {
    if (std::strcmp(text, "none") == 0)
        *fault = Fault::None;
    else if (std::strcmp(text, "silent") == 0)
        *fault = Fault::Silent;
    else if (std::strcmp(text, "wrong-echo") == 0)
        *fault = Fault::WrongEcho;
    else
        return false;
    return true;
}

bool ParseOption(const char* arg, AdapterOptions* options) {
    if (std::strncmp(arg, "--fault=", 8) == 0) return ParseFault(arg + 8, &options->fault);
    if (std::strncmp(arg, "--serial=", 9) == 0) {
        options->serial = arg + 9;
        return !options->serial.empty();
    }
    if (std::strcmp(arg, "--create") == 0)
        options->createAtOnce = true;
    else if (std::strcmp(arg, "--quiet") == 0)
        options->quiet = true;
    else
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    AdapterOptions options;
    for (int i = 1; i < argc; ++i) {
        if (ParseOption(argv[i], &options)) continue;
        std::fprintf(
            stderr,
            "usage: %s [--create] [--serial=TEXT] [--quiet] [--fault=none|silent|wrong-echo]\n",
            argv[0]);
        return 2;
    }

    // The firmware behind the device: the same model the simulated bus uses.
    auto device = std::make_unique<AdapterSimulator>(VmAdapterConfig());

    UhidAdapter adapter(*device, options);
    if (!adapter.Open()) {
        Answer("error cannot open /dev/uhid");
        return 1;
    }
    if (options.createAtOnce && !adapter.Create()) return 1;
    return adapter.Run();
}
