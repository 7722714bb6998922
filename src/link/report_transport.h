#pragma once

#include <QObject>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "link/adapter_report.h"
#include "link/hid_backend.h"
#include "link/link_timing.h"

struct ReaderSession;

// Whether a reply answers the request it came after. The transport drops a
// reply that does not (a late answer to an earlier request) and waits on for
// the right one within the same time-out.
using ReplyMatcher = bool (*)(const Payload& request, const Payload& reply);
// Whether a reply code is one of the protocol's; the transport itself knows
// no codes.
using ReplyCodeCheck = bool (*)(std::uint8_t code);

// What a wait for one reply saw besides its answer: the replies it dropped,
// and, once, a reply whose code is none of the protocol's.
struct ReplyTally {
    int dropped = 0;
    std::uint8_t firstDroppedCode = 0;
    ReplyCodeCheck knownCode = nullptr;
    std::function<void(std::uint8_t code)> onUndefined;
    bool undefinedTold = false;

    void Drop(std::uint8_t code) {
        if (dropped++ == 0) firstDroppedCode = code;
        if (undefinedTold || !knownCode || knownCode(code)) return;
        undefinedTold = true;
        if (onUndefined) onUndefined(code);
    }
};

// Moves one request to the adapter and delivers the one outcome of that
// request to the reply target as a posted WM_ADAPTER_REPLY: a reply, a
// time-out, a missing handle or a failed write. It never retries.
//
// Each open link gets its own reader thread, woken once per request. Closing
// the link retires that reader: whatever it was waiting for, it posts nothing
// afterwards, so a late reply can never reach a job that belongs to a new link.
class ReportTransport {
public:
    ReportTransport(QObject* replyTarget, const LinkTiming& timing);
    ~ReportTransport();
    ReportTransport(const ReportTransport&) = delete;
    ReportTransport& operator=(const ReportTransport&) = delete;

    // The link opened: requests go out through writeHandle, replies come in
    // through readHandle (either may be null when its open failed).
    void Connect(std::shared_ptr<HidHandle> writeHandle, std::shared_ptr<HidHandle> readHandle);

    // The link closed: handles released, a reader still waiting gets
    // readerStopMs to end and posts nothing in any case.
    void Disconnect();

    bool hasWriteHandle() const { return writeHandle_ != nullptr; }

    // Every request gets a number, and its outcome carries it: a job that
    // ended while its request was still out can tell that outcome from the
    // next job's.
    std::uint64_t lastRequestSerial() const { return requestSerial_; }

    // Without a matcher every reply is taken; it applies from the next
    // Connect. A dropped reply whose code knownCode refuses is told to the
    // reply target (REPLY_UNDEFINED_CODE), once per request.
    void SetReplyMatcher(ReplyMatcher matcher, ReplyCodeCheck knownCode = nullptr) {
        matcher_ = matcher;
        knownCode_ = knownCode;
    }

    // Results: 0 written and reader started (or mode not 1: nothing done),
    // 1 the write did not transfer a whole report, 2 no write handle. A
    // write that transfers only part of the report ends its request with a
    // write failure whose detail is the count written.
    int SendAdapterReport(const std::uint8_t* payload, std::size_t length, int mode);

    // Waits up to ms for the reply to request on readHandle; 1 with the 272
    // payload bytes in buffer, 0 on a short reply, time-out or when stop
    // becomes true, 2 without a handle. Replies the matcher refuses are
    // dropped and counted in tally. A handle whose reads fail is waited out
    // like silence. Time is counted in the waits asked of the handle, which
    // is what a read that finds nothing spends.
    static int ReadAdapterReport(HidHandle* readHandle, Payload& buffer, int ms, int sliceMs,
                                 const std::atomic<bool>& stop, const Payload& request = {},
                                 ReplyMatcher matcher = nullptr, ReplyTally* tally = nullptr);

private:
    void Post(int wParam, std::int64_t lParam, int bytesWritten = -1);
    void DrainStaleReplies();

    QObject* replyTarget_;
    LinkTiming timing_;
    std::shared_ptr<HidHandle> writeHandle_;
    std::shared_ptr<ReaderSession> reader_;
    ReplyMatcher matcher_ = nullptr;
    ReplyCodeCheck knownCode_ = nullptr;
    std::uint64_t requestSerial_ = 0;
    Payload lastReply_{};  // what a reply copy holds before the first reply of this link
};
