#include "engine/firmware_update.h"

#include <algorithm>

#include "engine/failure_reasons.h"
#include "engine/protocol.h"
#include "engine/reply_view.h"

namespace {

constexpr char kGoesOn[] =
    "The firmware update goes on to its end: stopped half way, it would leave the adapter without firmware\r\n";

}  // namespace

FirmwareUpdate::FirmwareUpdate(JobContext& context, int reconnectDeadlineMs) : ctx_(context) {
    reconnect_.setSingleShot(true);
    reconnect_.setInterval(reconnectDeadlineMs);
    QObject::connect(&reconnect_, &QTimer::timeout, [this] { OnReconnectTimeout(); });
}

void FirmwareUpdate::OnImageLoaded() {
    // From here on the program image holds firmware, not a file for the chip.
    ctx_.state.fileLoaded = false;
    if (ctx_.cancelRequested) return EndCancelled("load file");
    // Without a block past the boot loader's area there is nothing to write,
    // and the adapter's firmware must not be erased for nothing.
    if (!HasProgramArea(ctx_.image.imageSize())) {
        Fail("Firmware file too small, Update Terminated!\r\n", "load file",
             QString::asprintf("%u bytes end before the program area at 0x%X", ctx_.image.imageSize(),
                               kProgramOffset));
        return;
    }
    ctx_.request.SetCommand(CMD_ENTER_BOOT);
    ctx_.Send();
}

// Only an adapter this update is waiting for may continue it: an arrival at
// any other moment (while the file dialog is up, say) is some other adapter
// in application mode, and its chip must not be erased.
void FirmwareUpdate::OnReopened() {
    if (!ctx_.state.firmwareUpdate || !reconnect_.isActive()) return;
    if (ctx_.cancelRequested) {
        reconnect_.stop();
        return LeaveBoot("reconnect");
    }
    ctx_.request.SetCommand(CMD_READ_ID);
    ctx_.Send();
}

void FirmwareUpdate::OnEnterBootReply() {
    const std::uint8_t status = ctx_.reply[OFFSET_STATUS];
    if (status != BOOT_READY && status != BOOT_RESTARTING) {
        Fail(TimeoutLine(CMD_ENTER_BOOT), "enter boot", FailureReason::WrongStatus(status));
        return;
    }
    if (status == BOOT_READY) {
        ctx_.request.SetCommand(CMD_READ_ID);
        ctx_.Send();
    } else {
        reconnect_.start();
    }
    ctx_.host.AppendLog("Start update firmware...\r\n");
}

void FirmwareUpdate::OnReconnectTimeout() {
    reconnect_.stop();
    ctx_.NoteFailure("reconnect", QString("the adapter was not back within %1 ms").arg(reconnect_.interval()));
    Finish(false);
    ctx_.host.AppendLog("Reconnect Time out!");
}

void FirmwareUpdate::OnReadIdReply() {
    reconnect_.stop();
    const ReplyView reply(ctx_.reply);
    ctx_.host.AppendLog(QString::asprintf("chip id:%X,chip version:%X\r\n", unsigned(reply.bootId()),
                                          unsigned(reply.bootVersion())));
    ctx_.request.SetCommand(CMD_ERASE);
    eraseSent_ = true;
    ctx_.Send();
}

// A boot loader that refuses says so; any other status goes on as before.
void FirmwareUpdate::OnEraseReply() {
    if (ctx_.reply[OFFSET_STATUS] == STATUS_NAK) {
        Fail("Erase failure\r\n", "firmware erase", FailureReason::WrongStatus(STATUS_NAK));
        return;
    }
    ctx_.host.AppendLog("Erase Finished\r\n");
    ctx_.state.programAddress = kFirstWord;
    ctx_.request.ClearBlockLength();
    ctx_.WriteBlock(kProgramOffset, kFirstWord);
    ctx_.state.programAddress += DATA_BLOCK_SIZE / 2;
}

void FirmwareUpdate::OnWriteBlockReply() {
    std::uint32_t& word = ctx_.state.programAddress;
    if (ctx_.reply[OFFSET_STATUS] == STATUS_NAK) {
        Fail("Programming Error!\r\n", FailureReason::FirmwareBlock(word - DATA_BLOCK_SIZE / 2),
             FailureReason::WrongStatus(STATUS_NAK));
        return;
    }
    const std::uint32_t span = std::max<std::uint32_t>(LastWord() - std::min(LastWord(), kFirstWord), 1);
    const std::uint32_t done = std::min(word - kFirstWord, span);
    ctx_.host.SetProgress(int(span / 256), int(done / 256));
    const QString line = QString::asprintf("Programming... %d%%\r\n", int(std::uint64_t(done) * 100 / span));
    ctx_.host.ShowTransientLine(line);
    if (word < LastWord()) {
        ctx_.WriteBlock(2 * std::uint64_t(word), word);
        word += DATA_BLOCK_SIZE / 2;
        return;
    }
    ctx_.request.SetCommand(CMD_PROGRAM_VERIFY);
    ctx_.Send();
    ctx_.host.ShowTransientLine(line);
    ctx_.host.AppendLog("Program Finished\r\n");
}

void FirmwareUpdate::OnProgramVerifyReply() {
    ctx_.host.SetProgress(100, 0);
    ctx_.request.SetCommand(CMD_FIRMWARE_DONE);
    ctx_.Send();
    ctx_.host.AppendLog("Verify OK\r\n");
}

void FirmwareUpdate::OnDoneReply() {
    if (leaving_) return EndCancelled(cancelStep_);
    Finish(true);
    ctx_.host.AppendLog("Firmware Updated succeed!\r\n");
}

void FirmwareUpdate::OnDoneUnanswered() {
    if (leaving_) return EndCancelled(cancelStep_);
    Finish(true);
    ctx_.host.AppendLog(TimeoutLine(CMD_FIRMWARE_DONE));
}

void FirmwareUpdate::Abort() { Finish(false); }

bool FirmwareUpdate::MayCancel() {
    if (!eraseSent_) return true;
    if (!goesOnSaid_) ctx_.host.AppendLog(kGoesOn);
    goesOnSaid_ = true;
    return false;
}

bool FirmwareUpdate::CancelAtThisReply(const QString& step) {
    // Leaving the boot loader, or past the erase: the reply's own handler goes on.
    if (leaving_ || eraseSent_) return false;
    const bool answered = ctx_.reply[0] == ctx_.expectedReply;
    const std::uint8_t status = ctx_.reply[OFFSET_STATUS];
    // A restarting adapter comes back in its boot loader, and leaves it there.
    if (answered && ctx_.expectedReply == CMD_ENTER_BOOT && status == BOOT_RESTARTING) OnEnterBootReply();
    else if (answered && ctx_.expectedReply == CMD_ENTER_BOOT && status == BOOT_READY) LeaveBoot(step);
    else if (answered && ctx_.expectedReply == CMD_READ_ID) LeaveBoot(step);
    else EndCancelled(step);
    return true;
}

void FirmwareUpdate::LeaveBoot(const QString& step) {
    leaving_ = true;
    cancelStep_ = step;
    ctx_.request.SetCommand(CMD_FIRMWARE_DONE);
    ctx_.Send();
}

void FirmwareUpdate::EndCancelled(const QString& step) {
    ctx_.NoteFailure(step, FailureReason::kCancelled);
    Finish(false);
    ctx_.host.AppendLog(QString::asprintf("%s cancelled\r\n", JobName(JobKind::FirmwareUpdate)));
}

void FirmwareUpdate::Fail(const char* line, const QString& step, const QString& detail) {
    ctx_.NoteFailure(step, detail);
    Finish(false);
    ctx_.host.AppendLog(line);
}

// However it ends, the firmware in the program image is no file for the
// chip: nothing may program it, and the view no longer offers it.
void FirmwareUpdate::Finish(bool succeeded) {
    reconnect_.stop();
    ctx_.state.fileLoaded = false;
    ctx_.host.ShowData(ctx_.image.program(), 0);
    ctx_.ImageReplaced(JobContext::Image::Program);
    ctx_.EndJob(succeeded);
}
