#pragma once

#include <QTimer>

#include "engine/job_context.h"
#include "engine/protocol.h"

// Rewrites the adapter's own firmware from an image file: enter the boot
// loader (which may restart the adapter as a new device), read its id, erase,
// write the program area word-addressed from image offset 0x2800, verify and
// finish. Each step is the handling of the previous reply while
// `firmwareUpdate` is set.
class FirmwareUpdate {
public:
    FirmwareUpdate(JobContext& context, int reconnectDeadlineMs);

    // The frame's confirmed command; startLoad runs the file-load worker.
    template <typename StartLoad>
    void StartFirmwareUpdate(StartLoad startLoad) {
        if (ctx_.state.busy) {
            ctx_.host.AppendLog("Progrmming is busy!\r\n");
            return;
        }
        ctx_.BeginJob(JobKind::FirmwareUpdate);
        eraseSent_ = leaving_ = goesOnSaid_ = false;
        ctx_.state.firmwareUpdate = true;
        ctx_.state.reloadNow = false;
        startLoad();
    }

    // The image file has loaded (its line is in the log).
    void OnImageLoaded();
    // The link reopened after the adapter came back.
    void OnReopened();

    void OnEnterBootReply();
    void OnReadIdReply();
    void OnEraseReply();
    void OnWriteBlockReply();
    void OnProgramVerifyReply();
    void OnDoneReply();
    // The adapter restarts into its new firmware once it has CMD_FIRMWARE_DONE,
    // often before it answers: silence or its leaving the bus after that
    // request is the restart, and the update has succeeded.
    bool DoneSent() const { return ctx_.state.firmwareUpdate && ctx_.expectedReply == CMD_FIRMWARE_DONE; }
    void OnDoneUnanswered();

    // The update ended early (a time-out, a link error); the caller has
    // noted why.
    void Abort();

    // The user's Stop. Until its erase request has gone out the adapter's
    // firmware is whole and the update may end (true). After it the update
    // is seen through, and the log says why, once.
    bool MayCancel();
    // A reply has come with a cancel asked for; step is where the update
    // is. True when the cancel has taken this reply: the update has ended,
    // or is leaving the boot loader first, or waits for the restarting
    // adapter to do so. False once the reply's own handler is to go on.
    bool CancelAtThisReply(const QString& step);
    bool waitingForReconnect() const { return reconnect_.isActive(); }

    // Whether an image of this many bytes has anything past the boot
    // loader's area to write.
    static bool HasProgramArea(std::uint32_t imageSize) { return imageSize > kProgramOffset; }

    static constexpr std::uint32_t kProgramOffset = 0x2800;  // bytes; the boot loader's area lies below
    static constexpr std::uint32_t kFirstWord = kProgramOffset / 2;

private:
    void OnReconnectTimeout();
    void Fail(const char* line, const QString& step, const QString& detail);
    // The adapter is in its boot loader with its old firmware whole: it is
    // asked to start that firmware again, and the update then ends as cancelled.
    void LeaveBoot(const QString& step);
    void EndCancelled(const QString& step);
    void Finish(bool succeeded);
    // The end of the program area in words: an odd last byte fills a word
    // of its own, its other half blank, or it would never be written.
    std::uint32_t LastWord() const { return (ctx_.image.imageSize() + 1) / 2; }

    JobContext& ctx_;
    QTimer reconnect_;  // timer 500: how long the adapter may take to come back
    bool eraseSent_ = false;
    bool leaving_ = false;  // cancelled: CMD_FIRMWARE_DONE sent to leave the boot loader
    bool goesOnSaid_ = false;
    QString cancelStep_;
};
