#include "engine/data_jobs.h"

#include <algorithm>

#include "engine/chip_catalogue.h"
#include "engine/protocol.h"
#include "engine/reply_view.h"
#include "link/window_messages.h"

namespace {

constexpr char kBusyLine[] = "Program is busy\r\n";
constexpr char kNoFileLine[] = "please open a file first\r\n";
constexpr char kProgrammingError[] = "Programming Error!\r\n";

}  // namespace

// ---- buttons ---------------------------------------------------------------

void DataJobs::Erase() {
    if (ctx_.state.busy) {
        ctx_.host.AppendLog(kNoFileLine);
        return;
    }
    ctx_.state.busy = true;
    ctx_.request.SetCommand(CMD_ERASE);
    ctx_.Send();
}

void DataJobs::Program() {
    if (ctx_.state.busy) {
        ctx_.host.AppendLog(kBusyLine);
        return;
    }
    // Without a file the image holds nothing to program.
    if (!ctx_.state.fileLoaded) {
        ctx_.host.AppendLog(kNoFileLine);
        return;
    }
    ctx_.state.busy = true;
    StartWriting();
}

void DataJobs::Verify() {
    if (ctx_.state.busy) {
        ctx_.host.AppendLog(kBusyLine);
        return;
    }
    ctx_.state.busy = true;
    ctx_.request.SetCommand(CMD_VERIFY);
    ctx_.Send();
}

void DataJobs::Read() {
    // A read beside a running job would put two requests on the link at once.
    if (ctx_.state.busy) {
        ctx_.host.AppendLog(kBusyLine);
        return;
    }
    ctx_.state.readStart = 0;
    ctx_.state.readEnd = 0;
    const std::optional<ReadOptions> options = ctx_.prompts.AskReadOptions();
    if (!options) return;
    const ReadRangeCheck range = CheckReadRange(*options);
    for (int i = 0; i < range.badDigits; ++i) ctx_.prompts.ShowMessage("Not a vaild Hex Format");
    if (!range.accepted) {
        if (!range.refusal.isEmpty()) ctx_.prompts.ShowMessage(range.refusal);
        return;
    }
    ctx_.state.readStart = range.start;
    ctx_.state.readEnd = range.end;
    ctx_.state.busy = true;
    StartRead();
}

// ---- program -----------------------------------------------------------------

void DataJobs::StartWriting() {
    ctx_.state.programAddress = 0;
    ctx_.request.ClearBlockLength();
    ctx_.WriteBlock(ctx_.image.program(), 0);
    ctx_.state.programAddress += DATA_BLOCK_SIZE;
}

void DataJobs::OnWriteBlockReply() {
    JobState& s = ctx_.state;
    const std::uint32_t size = ctx_.image.imageSize();
    if (ChipCatalogue::comparesWriteReply(ctx_.request.chipIndex())) {
        const auto sent = ctx_.request.data();
        if (!std::equal(sent.begin(), sent.end(), ctx_.reply.begin() + OFFSET_DATA)) {
            ctx_.host.AppendLog("Verify Error!\r\n");
            ctx_.EndJob();
            return;
        }
    }
    ctx_.host.SetProgress(int(size / 256), int(s.programAddress / 256));
    const bool accepted = ctx_.reply[OFFSET_STATUS] == STATUS_ACK;
    if (s.programAddress < size) {
        const std::uint32_t percent = (s.programAddress * 100 + 100) / (size + 1);
        ctx_.host.ShowTransientLine(QString::asprintf("Programming... %d%%\r\n", int(percent)));
        if (accepted) {
            WriteNextBlock();
        } else {
            ctx_.EndJob();
            ctx_.host.AppendLog(kProgrammingError);
        }
        return;
    }
    if (!s.autoProgram) {
        s.busy = false;  // the last percent line stays as the job's last word
    } else if (!accepted) {
        ctx_.EndJob();
        ctx_.host.AppendLog(kProgrammingError);
    } else {
        ctx_.host.ShowTransientLine("Programming... 100%\r\n");
        ctx_.request.SetCommand(CMD_PROGRAM_VERIFY);
        ctx_.Send();
        ctx_.host.AppendLog("Program Finished\r\n");
    }
}

void DataJobs::WriteNextBlock() {
    JobState& s = ctx_.state;
    ctx_.request.SetLastBlockFlag(s.programAddress + DATA_BLOCK_SIZE >= ctx_.image.imageSize());
    ctx_.WriteBlock(ctx_.image.program() + s.programAddress, s.programAddress);
    s.programAddress += DATA_BLOCK_SIZE;
}

// ---- erase and verify --------------------------------------------------------

void DataJobs::OnEraseReply() {
    if (!ctx_.state.autoProgram) {
        ctx_.host.AppendLog("Erase Finished\r\n");
        ctx_.state.busy = false;
        return;
    }
    if (ctx_.reply[OFFSET_STATUS] == STATUS_ACK) {
        ctx_.host.AppendLog("Erase Finished\r\n");
        StartWriting();
        return;
    }
    // A refusal, or a status the chain cannot go on from.
    ctx_.EndJob();
    ctx_.host.AppendLog("Erase failure\r\n");
}

void DataJobs::OnProgramVerifyReply() {
    ctx_.host.SetProgress(100, 0);
    ctx_.host.AppendLog("Verify OK\r\n");
    ctx_.EndJob();
}

// ---- read ----------------------------------------------------------------------

void DataJobs::StartRead() {
    ctx_.host.DisableJobButtons();
    ctx_.state.readAddress = 0;
    if (ctx_.state.accessMode == ACCESS_DIRECT) {
        RunDirectPageLoop();
    } else {
        ReadBlockStart(ctx_.state.readAddress);
        ctx_.state.readAddress += DATA_BLOCK_SIZE;
    }
    ctx_.host.EnableJobButtons();
}

// Direct access reads nothing through the host; the job only walks its pages
// for the progress bar, and ends with them.
void DataJobs::RunDirectPageLoop() {
    for (std::uint32_t page = ctx_.state.readStart / 4096; page <= ctx_.state.readEnd / 4096; ++page)
        if (page > 24) ctx_.Post(WM_JOB_PROGRESS, PROGRESS_PERCENT, (page - 23) / 10);
    ctx_.state.busy = false;
}

void DataJobs::ReadBlockStart(std::uint32_t address) {
    ctx_.request.SetCommand(CMD_READ_BLOCK);
    ctx_.request.SetBlockAddress(address);
    ctx_.request.SetBlockLength(DATA_BLOCK_SIZE);
    ctx_.request.SetAddressHigh(std::uint8_t(address >> 8));
    ctx_.Send();
}

void DataJobs::OnReadBlockReply() {
    JobState& s = ctx_.state;
    const std::uint32_t address = ReplyView(ctx_.reply).blockAddress();
    // The adapter names where its data belongs; a place outside the read-back
    // image is not stored, and the read cannot go on from it.
    if (address > ImageBuffer::kSize - DATA_BLOCK_SIZE) {
        ctx_.host.AppendLog(QString::asprintf("Read address %06X out of range!\r\n", address));
        ctx_.EndJob();
        return;
    }
    std::copy_n(ctx_.reply.begin() + OFFSET_DATA, DATA_BLOCK_SIZE, ctx_.image.readBack() + address);
    const std::uint32_t percent = s.readAddress > s.readEnd ? 100 : s.readAddress * 100 / s.readEnd;
    ctx_.Post(WM_JOB_PROGRESS, PROGRESS_PERCENT, percent);
    if (s.readAddress < s.readEnd) {
        ctx_.request.SetBlockAddress(s.readAddress);
        ctx_.request.SetCommand(CMD_READ_BLOCK);
        s.readAddress += DATA_BLOCK_SIZE;
        ctx_.Send();
    } else {
        ctx_.Post(WM_JOB_PROGRESS, PROGRESS_READ_FINISHED, 0);
    }
}

void DataJobs::OnReadFinished() {
    const JobState& s = ctx_.state;
    ctx_.host.AppendLog(QString::asprintf("Read from addr:%06X to %06X finished!\r\n", s.readStart, s.readEnd));
    ctx_.host.SetProgress(100, 0);
    ctx_.host.ShowData(ctx_.image.readBack(), std::size_t(s.readEnd) + 1);
    ctx_.host.EnableHexView(true);
    ctx_.state.busy = false;
}
