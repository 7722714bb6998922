#pragma once

#include <QObject>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/adapter_report.h"
#include "link/hid_backend.h"
#include "link/link_timing.h"

struct ReaderSession;

// Whether a reply answers the request it came after. The transport drops a
// reply that does not (a late answer to an earlier request) and waits on for
// the right one within the same time-out.
using ReplyMatcher = bool (*)(const Payload& request, const Payload& reply);

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

    // Without a matcher every reply is taken; it applies from the next Connect.
    void SetReplyMatcher(ReplyMatcher matcher) { matcher_ = matcher; }

    // Results: 0 written and reader started (or mode not 1: nothing done),
    // 1 the write did not transfer a whole report, 2 no write handle. A
    // write that transfers only part of the report ends its request with a
    // write failure whose detail is the count written.
    int SendAdapterReport(const std::uint8_t* payload, std::size_t length, int mode);

    // Waits up to ms for the reply to request on readHandle; 1 with the 272
    // payload bytes in buffer, 0 on a short reply, time-out or when stop
    // becomes true, 2 without a handle. Replies the matcher refuses are
    // dropped. A handle whose reads fail is waited out like silence. Time is
    // counted in the waits asked of the handle, which is what a read that
    // finds nothing spends.
    static int ReadAdapterReport(HidHandle* readHandle, Payload& buffer, int ms, int sliceMs,
                                 const std::atomic<bool>& stop, const Payload& request = {},
                                 ReplyMatcher matcher = nullptr);

private:
    void Post(int wParam, std::int64_t lParam);
    void DrainStaleReplies();

    QObject* replyTarget_;
    LinkTiming timing_;
    std::shared_ptr<HidHandle> writeHandle_;
    std::shared_ptr<ReaderSession> reader_;
    ReplyMatcher matcher_ = nullptr;
    std::uint64_t requestSerial_ = 0;
    Payload lastReply_{};  // what a reply copy holds before the first reply of this link
};
