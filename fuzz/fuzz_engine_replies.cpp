// Drives the job engine through one job per input with the outcomes the
// input chooses, as the link would hand them over, in whatever state the job
// has reached.
//
// Input: a header of kHeaderSize bytes (missing bytes read as 0), then chunks.
//   0      job: Detect, Erase, Program, Verify, Read, Auto Program, firmware update (mod 7)
//   1      bit 0 JTAG access, 1 reload last file, 2 file loaded, 3 Auto Chip ticked,
//          4 the open dialog answers with the image file (else Cancel),
//          5 the image file exists, 6 the read options are cancelled,
//          7 the read start carries a character that is not a hex digit
//   2      chip index in the request block (mod 10)
//   3      chip selected in the list (mod 9)
//   4..5   program image size, little-endian (mod 0x4001)
//   6      which 256-byte blocks are blank: block n is blank when bit n % 8 is set
//   7      the byte the other blocks are filled with
//   8      read mode (mod 4); 9..11 read start, 12..14 read end (24-bit, little-endian)
// Chunk: outcome byte (bits 0..2: 0..4 reply ready, 5 time-out, 6 no handle,
//   7 write failed; 0xFF an outcome code the engine does not know; bits 3..7 the
//   detail), reply length (16-bit, little-endian, at most 272), the reply bytes
//   (zero-padded to 272).
#include <QCoreApplication>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "engine/job_engine.h"
#include "engine/protocol.h"
#include "fuzz_check.h"
#include "fuzz_host.h"
#include "fuzz_prompts.h"
#include "link/window_messages.h"
#include "scratch_dir.h"
#include "silent_backend.h"

namespace {

constexpr std::size_t kHeaderSize = 15;
constexpr std::uint32_t kMaxImageSize = 0x4000;

struct Setup {
    int job = 0;
    std::uint8_t flags = 0;
    std::uint8_t chip = 0;
    int selected = 0;
    std::uint32_t imageSize = 0;
    std::uint8_t blankMask = 0;
    std::uint8_t fill = 0;
    ReadRangeMode readMode = ReadRangeMode::FromTo;
    std::uint32_t readFrom = 0;
    std::uint32_t readTo = 0;

    bool flag(int bit) const { return flags >> bit & 1; }

    static Setup From(const std::uint8_t* data, std::size_t size) {
        std::uint8_t h[kHeaderSize] = {};
        std::memcpy(h, data, std::min(size, kHeaderSize));
        Setup s;
        s.job = h[0] % 7;
        s.flags = h[1];
        s.chip = std::uint8_t(h[2] % 10);
        s.selected = h[3] % 9;
        s.imageSize = std::uint32_t(h[4] | h[5] << 8) % (kMaxImageSize + 1);
        s.blankMask = h[6];
        s.fill = h[7];
        s.readMode = ReadRangeMode(h[8] % 4);
        s.readFrom = std::uint32_t(h[9] | h[10] << 8 | h[11] << 16);
        s.readTo = std::uint32_t(h[12] | h[13] << 8 | h[14] << 16);
        return s;
    }
};

// Counts what reaches the engine, so that posted messages can be run until
// none is left: a message handled may post the next one (a skipped blank
// block answers itself), and Qt leaves those for the next round.
class EventCounter : public QObject {
  public:
    int count = 0;
    bool eventFilter(QObject*, QEvent*) override {
        ++count;
        return false;
    }
};

struct Rig {
    SilentBackend bus;
    FuzzHost host;
    FuzzPrompts prompts;
    JobEngine engine;
    EventCounter counter;

    static LinkTiming Timing() {
        LinkTiming t;
        t.replyTimeoutMs = 24 * 3600 * 1000;  // the reader never gives up by itself
        return t;
    }
    Rig() : engine(bus, nullptr, host, prompts, Timing()) {
        engine.installEventFilter(&counter);
        engine.Initialise();
    }

    // A load counts as running until its outcome has been taken on this
    // thread, so the posted events are handed out while it runs.
    void Drain() {
        for (int before = -1; before != counter.count || engine.loadRunning();) {
            before = counter.count;
            QCoreApplication::sendPostedEvents();
            if (engine.loadRunning()) std::this_thread::yield();
        }
    }
};

// Made once: the engine allocates its 12 MiB of images on construction.
Rig& TheRig() {
    static Rig* rig = [] {
        static int argc = 1;
        static char name[] = "fuzz_engine_replies";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
        return new Rig;
    }();
    return *rig;
}

void Deliver(Rig& rig, int outcome, std::int64_t detail, const Payload& reply) {
    AdapterReplyMessage message(outcome, detail, reply);
    QCoreApplication::sendEvent(&rig.engine, &message);
    rig.Drain();
}

// The silent adapter never answers, so the link's reader stays on the first
// request it was given and every later one waits in its queue; a link opened
// afresh now and then lets them go, or a long run would fill the memory.
constexpr int kInputsPerLink = 4096;

// A new input starts from an idle engine and a request block as at start-up.
void EndAnyJob(Rig& rig) {
    static int inputs = 0;
    if (++inputs % kInputsPerLink == 0) {
        rig.engine.link().DropAdapter();
        rig.engine.link().OpenAdapter();
    }
    rig.Drain();
    if (rig.engine.state().busy) Deliver(rig, REPLY_TIMEOUT, 1, Payload{});
    // A reply with another request's code may end a job through `busy`
    // alone, leaving the flags and counters of its chain behind; they must
    // not reach the next input.
    rig.engine.state() = JobState();
    rig.engine.request() = RequestBlock();
}

// The program image: blank blocks and filled ones, 0xFF past the image size
// as after a real load. Returns the file that holds the same image.
QString StageImage(Rig& rig, const Setup& s, bool onDisk) {
    ImageBuffer& image = rig.engine.image();
    // The staging block is taken at the first load; later inputs reuse the
    // block the last commit left there rather than blanking 4 MiB each.
    std::uint8_t* staging = image.staging() ? image.staging() : image.ResetStaging();
    const std::uint32_t span = (s.imageSize + 255) / 256 * 256 + 256;
    for (std::uint32_t block = 0; block * 256 < span; ++block) {
        const bool blank = s.blankMask >> (block % 8) & 1;
        std::memset(staging + block * 256, blank ? 0xFF : s.fill, 256);
    }
    std::memset(staging + s.imageSize, 0xFF, span - s.imageSize);
    QString path = ScratchDir::Path("missing.bin");
    if (onDisk)
        path = ScratchDir::Write("image.bin", reinterpret_cast<const char*>(staging), s.imageSize);
    image.CommitLoad(s.imageSize);
    return path;
}

void Prepare(Rig& rig, const Setup& s) {
    JobEngine& engine = rig.engine;
    engine.SetAccessMode(s.flag(0) ? ACCESS_JTAG : ACCESS_DIRECT);
    engine.SetReloadLastFile(s.flag(1));
    engine.state().fileLoaded = s.flag(2);
    engine.request().SetChipIndex(s.chip);
    rig.host.Reset(s.selected, s.flag(3));

    const bool loads = (s.job == 6 && s.flag(4)) || (s.job == 5 && s.flag(1));
    const QString path = StageImage(rig, s, loads && s.flag(5));
    engine.image().loadedFilePath = path;
    rig.prompts.openAnswer.reset();
    if (s.flag(4)) rig.prompts.openAnswer = UserPrompts::FileAnswer{path, 2};

    rig.prompts.readOptions.reset();
    if (!s.flag(6)) {
        ReadOptions o;
        o.mode = s.readMode;
        o.fromToStart = QString::number(s.readFrom, 16) + (s.flag(7) ? "g" : "");
        o.fromToEnd = QString::number(s.readTo, 16);
        o.fromBeginToEnd = o.fromToEnd;
        o.fromToEndStart = o.fromToStart;
        rig.prompts.readOptions = o;
    }
}

void StartJob(JobEngine& engine, int job) {
    switch (job) {
        case 0:
            engine.Detect();
            break;
        case 1:
            engine.Erase();
            break;
        case 2:
            engine.Program();
            break;
        case 3:
            engine.Verify();
            break;
        case 4:
            engine.Read();
            break;
        case 5:
            engine.AutoProgram();
            break;
        default:
            engine.StartFirmwareUpdate();
            break;
    }
}

// What one step (a job start, or one outcome with all it set off) may do to
// the adapter: send at most one request, and only for a job that then waits
// for it; and a write block of 0xFF only goes out to the chip that never skips it.
void CheckRequests(const Rig& rig, int writesBefore) {
    const int sent = rig.bus.writes - writesBefore;
    FUZZ_CHECK(sent <= 1);
    if (sent == 0) return;
    FUZZ_CHECK(rig.engine.state().busy);
    const std::uint8_t* request = rig.bus.lastRequest.data() + 1;
    if (request[OFFSET_COMMAND] == CMD_WRITE_BLOCK && request[OFFSET_CHIP_INDEX] != 6) {
        FUZZ_CHECK(std::any_of(request + OFFSET_DATA, request + kPayloadSize,
                               [](std::uint8_t b) { return b != 0xFF; }));
    }
}


void Step(Rig& rig, int outcome, std::int64_t detail, const Payload& reply) {
    const JobState& s = rig.engine.state();
    const bool busy = s.busy;
    const int writes = rig.bus.writes, calls = rig.host.calls, messages = rig.prompts.messages;
    const std::uint8_t command = rig.engine.request().command();
    Deliver(rig, outcome, detail, reply);
    CheckRequests(rig, writes);
    if (!busy) {
        // An outcome nobody waits for changes nothing and says nothing.
        FUZZ_CHECK(!s.busy && rig.host.calls == calls && rig.prompts.messages == messages);
        return;
    }
    if (outcome == REPLY_TIMEOUT) {
        FUZZ_CHECK(!s.busy && !s.autoProgram);
        // The time-out's own line ends the job; a job that failed by it then
        // says where and why. Silence after the firmware's last request is
        // the adapter restarting into it: a success, with nothing to explain.
        if (rig.engine.lastJobSucceeded()) {
            FUZZ_CHECK(command == CMD_FIRMWARE_DONE && rig.host.lastLine == TimeoutLine(command));
        } else {
            const QString reason = rig.engine.lastJobStep() + ": " + rig.engine.lastJobDetail() + "\r\n";
            FUZZ_CHECK(!rig.engine.lastJobStep().isEmpty() && !rig.engine.lastJobDetail().isEmpty());
            FUZZ_CHECK(rig.host.lastLine == reason && rig.host.previousLine == TimeoutLine(command));
        }
    }
    if (outcome == REPLY_WRITE_FAILED) FUZZ_CHECK(!s.busy);
}

int OutcomeOf(std::uint8_t selector) {
    if (selector == 0xFF) return 9;
    switch (selector & 7) {
        case 5:
            return REPLY_TIMEOUT;
        case 6:
            return REPLY_NO_HANDLE;
        case 7:
            return REPLY_WRITE_FAILED;
        default:
            return REPLY_READY;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Rig& rig = TheRig();
    EndAnyJob(rig);
    const Setup setup = Setup::From(data, size);
    Prepare(rig, setup);

    const int writes = rig.bus.writes;
    StartJob(rig.engine, setup.job);
    rig.Drain();
    CheckRequests(rig, writes);

    for (std::size_t pos = kHeaderSize; pos < size;) {
        const std::uint8_t selector = data[pos];
        std::size_t length = pos + 2 < size ? std::size_t(data[pos + 1] | data[pos + 2] << 8) : 0;
        pos = std::min(pos + 3, size);
        length = std::min({length, kPayloadSize, size - pos});
        Payload reply{};
        std::memcpy(reply.data(), data + pos, length);
        pos += length;
        Step(rig, OutcomeOf(selector), selector >> 3, reply);
    }
    return 0;
}
