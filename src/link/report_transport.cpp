#include "link/report_transport.h"

#include <QCoreApplication>
#include <sched.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "link/window_messages.h"

// State shared by a link's reader thread and the transport. Two locks keep
// the sender and the reader out of each other's way: `wakeMutex` hands
// requests to the reader, `postMutex` makes a post and a close exclusive, so
// that once Disconnect has set `stop`, the reader can no longer post.
struct ReaderSession {
    std::mutex wakeMutex;
    std::condition_variable wake;
    std::condition_variable ended;
    struct Request {
        Payload payload;
        std::uint64_t serial;
    };
    std::deque<Request> pending;  // guarded by wakeMutex: requests written, not yet read for
    std::atomic<int> pendingRequests = 0;  // their count, for a look without the lock
    bool reading = false;   // guarded by wakeMutex: the reader is using the read handle
    bool finished = false;  // guarded by wakeMutex
    std::atomic<bool> stop = false;
    std::mutex postMutex;
    Payload receiveBuffer{};  // guarded by postMutex: the last reply of this link; a time-out repeats it
    std::shared_ptr<HidHandle> readHandle;
    QObject* target = nullptr;
    LinkTiming timing;
    ReplyMatcher matcher = nullptr;
    ReplyCodeCheck knownCode = nullptr;
    int spinUs = 0;  // how long the reader looks for the next request before it sleeps
};

namespace {

constexpr int kReaderSpinUs = 40;
// A device that keeps sending cannot hold a request back for ever.
constexpr int kMostStaleReplies = 64;

// Looking for the next request only pays where the job's thread can run
// beside the reader: on a single CPU the reader would take the time the job
// needs to send it.
int ReaderSpinUs() {
    cpu_set_t cpus;
    if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return kReaderSpinUs;
    return CPU_COUNT(&cpus) > 1 ? kReaderSpinUs : 0;
}

// Waits for the next request; false once the link has closed. A job sends
// its next request within microseconds of the last reply, so the reader looks
// for it briefly before it sleeps: waking a sleeping thread costs more than
// the rest of the exchange.
bool AwaitRequest(ReaderSession& session, ReaderSession::Request& request) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(session.spinUs);
    while (session.pendingRequests.load(std::memory_order_acquire) == 0 && !session.stop &&
           std::chrono::steady_clock::now() < until) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    std::unique_lock lock(session.wakeMutex);
    session.wake.wait(lock, [&] { return session.stop || !session.pending.empty(); });
    if (session.stop) return false;
    request = session.pending.front();
    session.pending.pop_front();
    --session.pendingRequests;
    session.reading = true;
    return true;
}

// Tells the request's owner of a reply no protocol code names, while the
// request waits on for its answer.
void PostUndefinedCode(ReaderSession& session, std::uint64_t serial, std::uint8_t code) {
    std::lock_guard guard(session.postMutex);
    if (session.stop) return;
    QCoreApplication::postEvent(session.target, new AdapterReplyMessage(REPLY_UNDEFINED_CODE, code,
                                                                         session.receiveBuffer, serial));
}

// The reader: one read per request, one posted outcome per read.
void RunReader(std::shared_ptr<ReaderSession> session) {
    ReaderSession::Request request{};
    while (AwaitRequest(*session, request)) {
        Payload reply{};
        ReplyTally tally;
        tally.knownCode = session->knownCode;
        tally.onUndefined = [&session, serial = request.serial](std::uint8_t code) {
            PostUndefinedCode(*session, serial, code);
        };
        const int result = ReportTransport::ReadAdapterReport(
            session->readHandle.get(), reply, session->timing.replyTimeoutMs,
            session->timing.readSliceMs, session->stop, request.payload, session->matcher, &tally);
        {
            std::lock_guard lock(session->wakeMutex);
            session->reading = false;
        }
        std::lock_guard guard(session->postMutex);
        if (session->stop) break;
        if (result == 1) session->receiveBuffer = reply;
        const int wParam = result == 1 ? REPLY_READY : REPLY_TIMEOUT;
        auto* outcome = new AdapterReplyMessage(wParam, 1, session->receiveBuffer, request.serial);
        outcome->droppedReplies = tally.dropped;
        outcome->firstDroppedCode = tally.firstDroppedCode;
        QCoreApplication::postEvent(session->target, outcome);
    }
    std::lock_guard lock(session->wakeMutex);
    session->finished = true;
    session->ended.notify_all();
}

}  // namespace

ReportTransport::ReportTransport(QObject* replyTarget, const LinkTiming& timing)
    : replyTarget_(replyTarget), timing_(timing) {}

ReportTransport::~ReportTransport() { Disconnect(); }

void ReportTransport::Connect(std::shared_ptr<HidHandle> writeHandle,
                              std::shared_ptr<HidHandle> readHandle) {
    Disconnect();
    writeHandle_ = std::move(writeHandle);
    reader_ = std::make_shared<ReaderSession>();
    reader_->readHandle = std::move(readHandle);
    reader_->target = replyTarget_;
    reader_->timing = timing_;
    reader_->receiveBuffer = lastReply_;
    reader_->matcher = matcher_;
    reader_->knownCode = knownCode_;
    reader_->spinUs = ReaderSpinUs();
    if (reader_->readHandle) std::thread(RunReader, reader_).detach();
    else reader_->finished = true;
}

void ReportTransport::Disconnect() {
    writeHandle_.reset();
    if (!reader_) return;
    std::shared_ptr<ReaderSession> session = std::move(reader_);
    {
        std::lock_guard guard(session->postMutex);
        session->stop = true;
        lastReply_ = session->receiveBuffer;
    }
    // A reader blocked in a read notices the stop within one read slice; if the
    // platform keeps it longer it is left to end on its own, posting nothing.
    std::unique_lock lock(session->wakeMutex);
    session->wake.notify_all();
    session->ended.wait_for(lock, std::chrono::milliseconds(timing_.readerStopMs),
                            [&] { return session->finished; });
}

int ReportTransport::SendAdapterReport(const std::uint8_t* payload, std::size_t length,
                                       int mode) {
    if (mode != 1) return 0;
    ++requestSerial_;
    AdapterReport report{};
    std::memcpy(report.data() + 1, payload, std::min(length, kPayloadSize));

    if (!writeHandle_) {
        Post(REPLY_NO_HANDLE, 0);
        return 2;
    }
    DrainStaleReplies();
    int errorCode = 0;
    const int written = writeHandle_->Write(report.data(), report.size(), &errorCode);
    if (written < 0) Post(REPLY_WRITE_FAILED, errorCode);
    // Part of a report is no request the adapter can answer: without an
    // outcome of its own the job would wait for ever.
    else if (written != int(kReportSize)) Post(REPLY_WRITE_FAILED, written, written);
    if (written != int(kReportSize)) return 1;

    if (!reader_->readHandle) {
        Post(REPLY_NO_HANDLE, 1);
        return 0;
    }
    {
        std::lock_guard lock(reader_->wakeMutex);
        ReaderSession::Request& request = reader_->pending.emplace_back();
        request.payload.fill(0);
        std::memcpy(request.payload.data(), payload, std::min(length, kPayloadSize));
        request.serial = requestSerial_;
        ++reader_->pendingRequests;
    }
    reader_->wake.notify_one();
    return 0;
}

// A reply that came after its request had timed out still sits in the input
// queue; read before the next request goes out, it would pass for that
// request's answer. Only an idle reader leaves the handle free for this.
void ReportTransport::DrainStaleReplies() {
    if (!reader_ || !reader_->readHandle) return;
    std::lock_guard lock(reader_->wakeMutex);
    if (reader_->reading || !reader_->pending.empty()) return;
    std::uint8_t stale[kReportSize];
    for (int i = 0; i < kMostStaleReplies; ++i)
        if (reader_->readHandle->Read(stale, sizeof stale, 0) <= 0) return;
}

int ReportTransport::ReadAdapterReport(HidHandle* readHandle, Payload& buffer, int ms,
                                       int sliceMs, const std::atomic<bool>& stop,
                                       const Payload& request, ReplyMatcher matcher,
                                       ReplyTally* tally) {
    if (!readHandle) return 2;
    using Clock = std::chrono::steady_clock;
    int left = ms;
    std::uint8_t local[kReportSize];
    for (;;) {
        const int wait = std::max(std::min(left, sliceMs), 0);
        const auto start = Clock::now();
        const int got = readHandle->Read(local, sizeof local, wait);
        if (got == int(kPayloadSize)) {
            std::memcpy(buffer.data(), local, kPayloadSize);
            if (!matcher || matcher(request, buffer)) return 1;
            if (tally) tally->Drop(buffer[0]);
            // Someone else's answer: it used up the time it took, and at
            // least a millisecond, so that a device sending without end
            // still lets the request time out.
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
            left -= int(std::clamp<long long>(spent.count(), 1, std::max(wait, 1)));
            if (stop.load()) return 0;
            if (left <= 0) return 0;
            continue;
        }
        if (got > 0) return 0;  // a short reply is a failed read
        if (got < 0) {
            // A handle fails every read from the moment its device is pulled
            // out, well before the removal reaches the user-interface thread
            // and closes the link. Waiting for that close keeps a pulled-out
            // adapter from ending its request as a time-out; a device that
            // fails without leaving still times out at the deadline.
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(wait, 1)));
        }
        left -= std::max(wait, 1);
        if (stop.load()) return 0;
        if (left <= 0) return 0;
    }
}

void ReportTransport::Post(int wParam, std::int64_t lParam, int bytesWritten) {
    Payload copy = lastReply_;
    if (reader_) {
        std::lock_guard guard(reader_->postMutex);
        copy = reader_->receiveBuffer;
    }
    auto* outcome = new AdapterReplyMessage(wParam, lParam, copy, requestSerial_);
    outcome->bytesWritten = bytesWritten;
    QCoreApplication::postEvent(replyTarget_, outcome);
}
