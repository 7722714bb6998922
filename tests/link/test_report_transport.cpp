#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <atomic>
#include <cstring>

#include "link/adapter_link.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/function_device.h"
#include "support/message_recorder.h"
#include "support/short_timing.h"

namespace {

Payload Request(std::uint8_t code, std::uint8_t fill = 0) {
    Payload p;
    p.fill(fill);
    p[0] = code;
    return p;
}

// A link opened on a simulated bus with one adapter, and everything it posts.
struct OpenLink {
    FunctionDevice device;
    SimulatedBackend bus{&device};
    MessageRecorder replies;
    AdapterLink link{bus, &bus, &replies, ShortLinkTiming()};

    explicit OpenLink(bool withAdapter = true) {
        if (withAdapter) bus.PlugAdapter();
        RunFor(0);
        link.Initialise();
    }

    std::vector<MessageRecorder::Entry> WaitForReplies(std::size_t n) {
        RunUntil([&] { return replies.of(WM_ADAPTER_REPLY).size() >= n; });
        return replies.of(WM_ADAPTER_REPLY);
    }
};

}  // namespace

TEST(ReportTransport, WritesWholeReportWithReportIdZeroAndDeliversPayload) {
    OpenLink t;
    t.device.Set([](const std::uint8_t* report, std::size_t length) {
        DeviceAnswer a;
        EXPECT_EQ(length, kReportSize);
        for (std::size_t i = 0; i < kPayloadSize; ++i) a.payload[i] = std::uint8_t(report[1 + i] + 1);
        return a;
    });
    const Payload request = Request(23, 0x40);
    EXPECT_EQ(t.link.SendAdapterReport(request.data(), request.size(), 1), 0);

    auto replies = t.WaitForReplies(1);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].wParam, REPLY_READY);
    EXPECT_EQ(replies[0].lParam, 1);
    // The report id never reaches the payload: byte 0 of the reply is report byte 1.
    EXPECT_EQ(replies[0].reply[0], 24);
    EXPECT_EQ(replies[0].reply[271], 0x41);

    auto written = t.bus.writtenReports();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0][0], 0);
    EXPECT_TRUE(std::equal(request.begin(), request.end(), written[0].begin() + 1));
}

TEST(ReportTransport, ModeOtherThanOneSendsAndPostsNothing) {
    OpenLink t;
    const Payload request = Request(23);
    EXPECT_EQ(t.link.SendAdapterReport(request.data(), request.size(), 0), 0);
    EXPECT_EQ(t.link.SendAdapterReport(request.data(), request.size(), 2), 0);
    RunFor(100);
    EXPECT_TRUE(t.bus.writtenReports().empty());
    EXPECT_TRUE(t.replies.of(WM_ADAPTER_REPLY).empty());
}

TEST(ReportTransport, NoWriteHandleGivesExactlyOneOutcomeAndNoReader) {
    OpenLink t(/*withAdapter=*/false);
    const Payload request = Request(23);
    EXPECT_EQ(t.link.SendAdapterReport(request.data(), request.size(), 1), 2);
    RunFor(250);  // longer than the reply time-out: a reader would have posted by now
    auto replies = t.replies.of(WM_ADAPTER_REPLY);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].wParam, REPLY_NO_HANDLE);
    EXPECT_EQ(replies[0].lParam, 0);
}

TEST(ReportTransport, NoReadHandleGivesReadHandleOutcome) {
    FunctionDevice device;
    SimulatedBackend bus{&device};
    bus.SetRefuseSecondOpen(true);
    bus.PlugAdapter();
    MessageRecorder replies;
    AdapterLink link{bus, &bus, &replies, ShortLinkTiming()};
    link.Initialise();
    ASSERT_TRUE(link.isOpen());

    const Payload request = Request(7);
    EXPECT_EQ(link.SendAdapterReport(request.data(), request.size(), 1), 0);
    RunFor(250);
    auto got = replies.of(WM_ADAPTER_REPLY);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, REPLY_NO_HANDLE);
    EXPECT_EQ(got[0].lParam, 1);
}

TEST(ReportTransport, WriteFailurePostsErrorCodeAndStartsNoReader) {
    OpenLink t;
    t.device.Set([](const std::uint8_t*, std::size_t) {
        DeviceAnswer a;
        a.written = -1;
        a.errorCode = 31;
        return a;
    });
    const Payload request = Request(15);
    EXPECT_EQ(t.link.SendAdapterReport(request.data(), request.size(), 1), 1);
    RunFor(250);
    auto replies = t.replies.of(WM_ADAPTER_REPLY);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].wParam, REPLY_WRITE_FAILED);
    EXPECT_EQ(replies[0].lParam, 31);
    EXPECT_EQ(replies[0].bytesWritten, -1);
}

// Part of a report is no request: it ends as a failed write with the count
// written, or the job would wait for an answer that never comes.
TEST(ReportTransport, ShortWriteEndsAsAWriteFailureWithItsCount) {
    OpenLink t;
    t.device.Set([](const std::uint8_t* report, std::size_t length) {
        DeviceAnswer a = FunctionDevice::Echo(report, length);
        a.written = 64;
        return a;
    });
    const Payload request = Request(15);
    EXPECT_EQ(t.link.SendAdapterReport(request.data(), request.size(), 1), 1);
    RunFor(250);
    auto replies = t.replies.of(WM_ADAPTER_REPLY);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].wParam, REPLY_WRITE_FAILED);
    EXPECT_EQ(replies[0].lParam, 64);
    EXPECT_EQ(replies[0].bytesWritten, 64);
}

TEST(ReportTransport, SilenceTimesOutAndKeepsThePreviousReply) {
    OpenLink t;
    const Payload first = Request(23, 0x5A);
    t.link.SendAdapterReport(first.data(), first.size(), 1);
    ASSERT_EQ(t.WaitForReplies(1).size(), 1u);

    t.device.Set([](const std::uint8_t*, std::size_t) {
        DeviceAnswer a;
        a.reply = false;
        return a;
    });
    const Payload second = Request(7);
    t.link.SendAdapterReport(second.data(), second.size(), 1);
    auto replies = t.WaitForReplies(2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1].wParam, REPLY_TIMEOUT);
    EXPECT_EQ(replies[1].lParam, 1);
    EXPECT_EQ(replies[1].reply, first);
}

TEST(ReportTransport, ReplySlowerThanTheTimeOutTimesOut) {
    OpenLink t;
    t.device.Set([](const std::uint8_t* report, std::size_t length) {
        DeviceAnswer a = FunctionDevice::Echo(report, length);
        a.latencyMs = report[1] == 7 ? 1000 : 0;
        return a;
    });
    const Payload slow = Request(7);
    t.link.SendAdapterReport(slow.data(), slow.size(), 1);
    auto replies = t.WaitForReplies(1);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].wParam, REPLY_TIMEOUT);
}

TEST(ReportTransport, OneOutcomePerRequestOverManyExchanges) {
    OpenLink t;
    for (int i = 0; i < 200; ++i) {
        Payload request = Request(1);
        request[4] = std::uint8_t(i);
        t.link.SendAdapterReport(request.data(), request.size(), 1);
        auto replies = t.WaitForReplies(std::size_t(i + 1));
        ASSERT_EQ(replies.size(), std::size_t(i + 1));
        EXPECT_EQ(replies.back().reply[4], std::uint8_t(i));
    }
    RunFor(20);
    EXPECT_EQ(t.replies.of(WM_ADAPTER_REPLY).size(), 200u);
}

// A handle fails its reads as soon as the device is pulled out, before the
// removal reaches the link; the request cut off that way must end silently
// once the removal closes the link, not as a time-out.
TEST(ReportTransport, PullOutWhileAwaitingAReplyPostsNothing) {
    OpenLink t;
    t.device.Set([](const std::uint8_t*, std::size_t) {
        DeviceAnswer a;
        a.reply = false;
        return a;
    });
    const Payload request = Request(23);
    ASSERT_EQ(t.link.SendAdapterReport(request.data(), request.size(), 1), 0);
    RunFor(10);
    t.bus.UnplugAdapter();
    ASSERT_TRUE(RunUntil([&] { return !t.link.attached(); }));
    EXPECT_FALSE(t.link.isOpen());
    RunFor(ShortLinkTiming().replyTimeoutMs * 2);
    EXPECT_TRUE(t.replies.of(WM_ADAPTER_REPLY).empty());
}

// An adapter that takes every request and fails every read while staying put.
class FailingReadBackend : public HidBackend {
  public:
    std::vector<HidDeviceInfo> Enumerate() override {
        return {{"/dev/hidraw7", kAdapterVendorId, kAdapterProductId}};
    }
    std::unique_ptr<HidHandle> Open(const std::string&) override {
        struct Handle : HidHandle {
            int Write(const std::uint8_t*, std::size_t length, int*) override {
                return int(length);
            }
            int Read(std::uint8_t*, std::size_t, int) override { return -1; }
        };
        return std::make_unique<Handle>();
    }
};

// A read that fails while the device stays on the bus still ends its request,
// as the time-out, once the reply time-out has passed.
TEST(ReportTransport, FailingReadWithoutRemovalTimesOut) {
    FailingReadBackend backend;
    MessageRecorder replies;
    AdapterLink link{backend, nullptr, &replies, ShortLinkTiming()};
    link.Initialise();
    ASSERT_TRUE(link.isOpen());
    const Payload request = Request(7);
    QElapsedTimer clock;
    clock.start();
    link.SendAdapterReport(request.data(), request.size(), 1);
    ASSERT_TRUE(RunUntil([&] { return !replies.of(WM_ADAPTER_REPLY).empty(); }));
    EXPECT_GE(clock.elapsed(), ShortLinkTiming().replyTimeoutMs);
    RunFor(20);
    auto got = replies.of(WM_ADAPTER_REPLY);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, REPLY_TIMEOUT);
    EXPECT_EQ(got[0].lParam, 1);
}

// A device that keeps sending, never the answer to this request, still lets
// the request time out: every refused reply costs time.
TEST(ReportTransport, EndlessRefusedRepliesStillTimeOut) {
    struct Chatty : HidHandle {
        int Write(const std::uint8_t*, std::size_t length, int*) override { return int(length); }
        int Read(std::uint8_t* buffer, std::size_t capacity, int) override {
            std::memset(buffer, 9, capacity);
            return int(kPayloadSize);
        }
    } handle;
    Payload reply{};
    const std::atomic<bool> stop = false;
    EXPECT_EQ(ReportTransport::ReadAdapterReport(&handle, reply, 50, 20, stop, Request(7),
                                                 [](const Payload&, const Payload&) { return false; }),
              0);
}

// Replies that answer another request are dropped and counted, the first
// one's code kept; a code the protocol does not have is told once.
TEST(ReportTransport, DroppedRepliesAreCountedAndAnUndefinedCodeToldOnce) {
    struct Scripted : HidHandle {
        std::vector<std::uint8_t> codes{2, 9, 2, 15};
        int Write(const std::uint8_t*, std::size_t length, int*) override { return int(length); }
        int Read(std::uint8_t* buffer, std::size_t capacity, int) override {
            if (codes.empty()) return 0;
            std::memset(buffer, 0, capacity);
            buffer[0] = codes.front();
            codes.erase(codes.begin());
            return int(kPayloadSize);
        }
    } handle;
    Payload reply{};
    const std::atomic<bool> stop = false;
    ReplyTally tally;
    tally.knownCode = [](std::uint8_t code) { return code == 7 || code == 15; };
    std::vector<std::uint8_t> told;
    tally.onUndefined = [&](std::uint8_t code) { told.push_back(code); };
    EXPECT_EQ(ReportTransport::ReadAdapterReport(
                  &handle, reply, 50, 5, stop, Request(7),
                  [](const Payload& request, const Payload& r) { return r[0] == request[0]; }, &tally),
              0);
    EXPECT_EQ(tally.dropped, 4);
    EXPECT_EQ(tally.firstDroppedCode, 2);
    EXPECT_EQ(told, std::vector<std::uint8_t>{2});
}
