#pragma once

#include <QEvent>
#include <QString>
#include <cstdint>

#include "link/adapter_report.h"

// The program's private messages, carried as posted Qt events so that every
// hand-over from a worker or reader thread reaches the user-interface thread
// in posting order.
inline constexpr QEvent::Type WM_JOB_PROGRESS = QEvent::Type(QEvent::User + 0x673);
inline constexpr QEvent::Type WM_ADAPTER_REPLY = QEvent::Type(QEvent::User + 0x7F3);
inline constexpr QEvent::Type WM_ADAPTER_MENUS = QEvent::Type(QEvent::User + 0x7FF);
// A job ended: wParam the job, lParam 1 when it did what it was asked to.
inline constexpr QEvent::Type WM_JOB_ENDED = QEvent::Type(QEvent::User + 0x675);

// WM_ADAPTER_REPLY outcomes (wParam).
enum ReplyOutcome : int {
    REPLY_TIMEOUT = 0,
    REPLY_READY = 1,
    REPLY_NO_HANDLE = 2,
    REPLY_WRITE_FAILED = 3,
    // Not an outcome: the request got a reply whose code the protocol does
    // not have (lParam), and waits on for its answer. Told once per request.
    REPLY_UNDEFINED_CODE = 4,
};

// WM_JOB_PROGRESS kinds (wParam).
enum JobProgressKind : int {
    PROGRESS_PERCENT = 0,
    PROGRESS_FILE_LOADED = 1,
    PROGRESS_READ_FINISHED = 4,
};

// WM_ADAPTER_MENUS items (wParam).
enum AdapterMenuItems : int {
    MENUS_ACCESS_MODE = 1,
    MENUS_UPDATE_FIRMWARE = 2,
};

class WindowMessage : public QEvent {
public:
    WindowMessage(QEvent::Type type, int wParam, std::int64_t lParam)
        : QEvent(type), wParam(wParam), lParam(lParam) {}
    const int wParam;
    const std::int64_t lParam;
};

// A job ended, how long it took and how many bytes it moved (none for a job
// that moves no data or failed), measured when it ended: the notice may be
// handled a little later.
// A failed job also says where it stopped and why.
class JobEndedMessage : public WindowMessage {
public:
    JobEndedMessage(int job, bool succeeded, std::int64_t elapsedMs, std::uint64_t bytes,
                    QString failStep = {}, QString failDetail = {})
        : WindowMessage(WM_JOB_ENDED, job, succeeded ? 1 : 0),
          elapsedMs(elapsedMs),
          bytes(bytes),
          failStep(std::move(failStep)),
          failDetail(std::move(failDetail)) {}
    const std::int64_t elapsedMs;
    const std::uint64_t bytes;
    const QString failStep;
    const QString failDetail;
};

// A reply outcome together with its own copy of the 272 reply bytes, so the
// reader never shares a buffer with the user-interface thread, and the
// number of the request it belongs to (0 for an outcome that names none).
class AdapterReplyMessage : public WindowMessage {
public:
    AdapterReplyMessage(int wParam, std::int64_t lParam, const Payload& reply, std::uint64_t serial = 0)
        : WindowMessage(WM_ADAPTER_REPLY, wParam, lParam), reply(reply), serial(serial) {}
    const Payload reply;
    const std::uint64_t serial;
    // Replies the reader dropped while it waited, because they did not
    // answer the request, and the code of the first of them: a time-out
    // after a stream of stale or foreign replies is no plain silence.
    int droppedReplies = 0;
    std::uint8_t firstDroppedCode = 0;
    // A write that transferred part of the report: the bytes it did
    // (lParam is then that count too); -1 for any other outcome.
    int bytesWritten = -1;
};
