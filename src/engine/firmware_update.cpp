#include "engine/firmware_update.h"

#include "engine/protocol.h"
#include "engine/reply_view.h"

FirmwareUpdate::FirmwareUpdate(JobContext& context, int reconnectDeadlineMs) : ctx_(context) {
    reconnect_.setSingleShot(true);
    reconnect_.setInterval(reconnectDeadlineMs);
    QObject::connect(&reconnect_, &QTimer::timeout, [this] { OnReconnectTimeout(); });
}

void FirmwareUpdate::OnImageLoaded() {
    // Without anything past the boot loader's area there is nothing to write,
    // and the percentages would divide by nothing.
    if (ctx_.image.imageSize() <= kProgramOffset) {
        ctx_.host.AppendLog("Firmware file too small, Update Terminated!\r\n");
        ctx_.EndJob();
        return;
    }
    ctx_.request.SetCommand(CMD_ENTER_BOOT);
    ctx_.Send();
}

void FirmwareUpdate::OnReopened() {
    if (!ctx_.state.firmwareUpdate) return;
    ctx_.request.SetCommand(CMD_READ_ID);
    ctx_.Send();
}

void FirmwareUpdate::OnEnterBootReply() {
    // The program image holds firmware now, not a file for the chip.
    ctx_.state.fileLoaded = false;
    const std::uint8_t status = ctx_.reply[OFFSET_STATUS];
    if (status != BOOT_READY && status != BOOT_RESTARTING) {
        ctx_.host.AppendLog(TimeoutLine(CMD_ENTER_BOOT));
        ctx_.EndJob();
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
    ctx_.EndJob();
    ctx_.host.AppendLog("Reconnect Time out!");
}

void FirmwareUpdate::OnReadIdReply() {
    reconnect_.stop();
    const ReplyView reply(ctx_.reply);
    ctx_.host.AppendLog(QString::asprintf("chip id:%X,chip version:%X\r\n", unsigned(reply.bootId()),
                                          unsigned(reply.bootVersion())));
    ctx_.request.SetCommand(CMD_ERASE);
    ctx_.Send();
}

void FirmwareUpdate::OnEraseReply() {
    ctx_.host.AppendLog("Erase Finished\r\n");
    ctx_.state.programAddress = kFirstWord;
    ctx_.request.ClearBlockLength();
    ctx_.WriteBlock(ctx_.image.program() + kProgramOffset, kFirstWord);
    ctx_.state.programAddress += DATA_BLOCK_SIZE / 2;
}

void FirmwareUpdate::OnWriteBlockReply() {
    std::uint32_t& word = ctx_.state.programAddress;
    const std::uint32_t span = LastWord() - kFirstWord;
    ctx_.host.SetProgress(int(span / 256), int((word - kFirstWord) / 256));
    const QString line = QString::asprintf("Programming... %d%%\r\n", int((word * 100 - kFirstWord * 100) / span));
    ctx_.host.ShowTransientLine(line);
    if (word < LastWord()) {
        ctx_.WriteBlock(ctx_.image.program() + 2 * std::size_t(word), word);
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
    ctx_.state.firmwareUpdate = false;
    ctx_.host.AppendLog("Firmware Updated succeed!\r\n");
    ctx_.state.busy = false;
}

void FirmwareUpdate::Abort() { reconnect_.stop(); }
