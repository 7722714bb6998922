#include "engine/data_jobs.h"

#include <algorithm>

#include "engine/chip_catalogue.h"
#include "engine/failure_reasons.h"
#include "engine/protocol.h"
#include "engine/reply_view.h"
#include "image/image_compare.h"
#include "link/window_messages.h"

namespace {

constexpr char kBusyLine[] = "Program is busy\r\n";
constexpr char kNoFileLine[] = "please open a file first\r\n";
constexpr char kProgrammingError[] = "Programming Error!\r\n";
constexpr char kEraseFailure[] = "Erase failure\r\n";
// Direct access reaches the chip only through the adapter's own routines:
// nothing of it can be read back to the host.
constexpr char kReadNeedsJtag[] = "Read needs JTAG access: choose JTAG Access in the Configuration menu\r\n";
constexpr char kNothingCompared[] =
    "Nothing compared: Direct access cannot read the chip back (choose JTAG Access in Configuration)\r\n";

}  // namespace

// ---- buttons ---------------------------------------------------------------

void DataJobs::Erase() {
    if (ctx_.state.busy) {
        ctx_.host.AppendLog(kBusyLine);
        return;
    }
    ctx_.BeginJob(JobKind::Erase);
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
    if (ctx_.image.imageSize() == 0) {
        ctx_.host.AppendLog(ctx_.EmptyImageLine());
        return;
    }
    ctx_.BeginJob(JobKind::Program);
    StartWriting();
}

void DataJobs::Verify() {
    if (ctx_.state.busy) {
        ctx_.host.AppendLog(kBusyLine);
        return;
    }
    // Without a file there is nothing to compare the chip with.
    if (!ctx_.state.fileLoaded) {
        ctx_.host.AppendLog(kNoFileLine);
        return;
    }
    // An empty socket must not pass: the chip is checked first, as an auto
    // program checks it.
    ctx_.BeginJob(JobKind::Verify);
    ctx_.StartChipCheck();
}

void DataJobs::SendVerify() {
    ctx_.request.SetCommand(CMD_VERIFY);
    ctx_.Send();
}

void DataJobs::Read() {
    // A read beside a running job would put two requests on the link at once.
    if (ctx_.state.busy) {
        ctx_.host.AppendLog(kBusyLine);
        return;
    }
    if (ctx_.state.accessMode == ACCESS_DIRECT) {
        ctx_.host.AppendLog(kReadNeedsJtag);
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
    ctx_.BeginJob(JobKind::Read);
    StartRead(ReadPurpose::Read);
}

// ---- program -----------------------------------------------------------------

void DataJobs::StartWriting() {
    shownPercent_ = -1;
    ctx_.state.programAddress = 0;
    ctx_.request.ClearBlockLength();
    ctx_.WriteBlock(0, 0);
    ctx_.state.programAddress += DATA_BLOCK_SIZE;
}

void DataJobs::OnWriteBlockReply() {
    JobState& s = ctx_.state;
    const std::uint32_t size = ctx_.image.imageSize();
    const std::uint32_t block = s.programAddress - DATA_BLOCK_SIZE;
    if (ChipCatalogue::comparesWriteReply(ctx_.request.chipIndex())) {
        const auto sent = ctx_.request.data();
        const auto differs = std::mismatch(sent.begin(), sent.end(), ctx_.reply.begin() + OFFSET_DATA);
        if (differs.first != sent.end()) {
            ctx_.host.AppendLog("Verify Error!\r\n");
            ctx_.FailJob(FailureReason::ProgramBlock(block),
                         QString::asprintf("write reply data differs from the block sent at 0x%06X",
                                           block + unsigned(differs.first - sent.begin())));
            return;
        }
    }
    ctx_.host.SetProgress(int(size / 256), int(s.programAddress / 256));
    const std::uint8_t status = ctx_.reply[OFFSET_STATUS];
    const bool accepted = status == STATUS_ACK;
    if (s.programAddress < size) {
        // The line changes a hundred times in a job of thousands of blocks.
        const int percent = int((s.programAddress * 100 + 100) / (size + 1));
        if (percent != shownPercent_)
            ctx_.host.ShowTransientLine(QString::asprintf("Programming... %d%%\r\n", percent));
        shownPercent_ = percent;
        if (accepted) {
            WriteNextBlock();
        } else {
            ctx_.FailJob(FailureReason::ProgramBlock(block), FailureReason::WrongStatus(status));
            ctx_.host.AppendLog(kProgrammingError);
        }
        return;
    }
    if (!accepted) {
        ctx_.FailJob(FailureReason::ProgramBlock(block), FailureReason::WrongStatus(status));
        ctx_.host.AppendLog(kProgrammingError);
    } else if (!s.autoProgram) {
        FinishProgram();
    } else {
        ctx_.host.ShowTransientLine("Programming... 100%\r\n");
        ctx_.request.SetCommand(CMD_PROGRAM_VERIFY);
        ctx_.Send();
        ctx_.host.AppendLog("Program Finished\r\n");
    }
}

// A plain program job says in the log that it is done: a percent line alone
// would be replaced by the next job's.
void DataJobs::FinishProgram() {
    ctx_.host.SetProgress(100, 100);
    ctx_.host.ShowTransientLine("Programming... 100%\r\n");
    ctx_.host.AppendLog("Program Finished\r\n");
    ctx_.EndJob(true);
}

void DataJobs::WriteNextBlock() {
    JobState& s = ctx_.state;
    ctx_.request.SetLastBlockFlag(s.programAddress + DATA_BLOCK_SIZE >= ctx_.image.imageSize());
    ctx_.WriteBlock(s.programAddress, s.programAddress);
    s.programAddress += DATA_BLOCK_SIZE;
}

// ---- erase and verify --------------------------------------------------------

void DataJobs::OnEraseReply() {
    // Only a refusal says the erase did not happen; other adapters leave the
    // status alone outside an auto program.
    const std::uint8_t status = ctx_.reply[OFFSET_STATUS];
    const bool erased = ctx_.state.autoProgram ? status == STATUS_ACK : status != STATUS_NAK;
    if (!erased) {
        ctx_.FailJob("erase", FailureReason::WrongStatus(status));
        ctx_.host.AppendLog(kEraseFailure);
        return;
    }
    ctx_.host.AppendLog("Erase Finished\r\n");
    if (ctx_.state.autoProgram) StartWriting();
    else ctx_.EndJob(true);
}

// The adapter has checked on its side; the host checks what it can see.
void DataJobs::OnVerifyReply() { StartCompare(ReadPurpose::Verify); }

void DataJobs::OnProgramVerifyReply() {
    ctx_.host.SetProgress(100, 0);
    StartCompare(ReadPurpose::ClosingVerify);
}

// Reads the image's range back from the chip for a compare on the host.
void DataJobs::StartCompare(ReadPurpose purpose) {
    if (ctx_.state.accessMode == ACCESS_DIRECT) {
        ctx_.host.AppendLog(kNothingCompared);
        ctx_.FailJob(CompareStep(purpose), "Direct access cannot read the chip back");
        return;
    }
    const std::uint32_t size = ctx_.image.imageSize();
    readPurpose_ = purpose;
    ctx_.state.readStart = 0;
    ctx_.state.readEnd = size == 0 ? 0 : size - 1;
    if (size == 0) {
        FinishCompare();
        return;
    }
    StartRead(purpose);
}

void DataJobs::FinishCompare() {
    const std::uint32_t size = ctx_.image.imageSize();
    DifferingAddresses(ctx_.image.program(), ctx_.image.readBack(), 0, size, ctx_.differences);
    ctx_.compared = true;
    ctx_.ImageReplaced(JobContext::Image::ReadBack);
    ctx_.host.SetProgress(100, 0);
    const bool closing = readPurpose_ == ReadPurpose::ClosingVerify;
    if (ctx_.differences.empty()) {
        ctx_.host.AppendLog(closing ? "Verify OK\r\n" : "Verify Succeed!\r\n");
        ctx_.EndJob(true);
        return;
    }
    ctx_.host.AppendLog(QString::asprintf("Verify Error at %06X: %d bytes differ\r\n",
                                          ctx_.differences.front(), int(ctx_.differences.size())));
    ctx_.FailJob(CompareStep(readPurpose_),
                 FailureReason::ReadBackDiffers(ctx_.differences.front(), ctx_.differences.size()));
}

// ---- read ----------------------------------------------------------------------

void DataJobs::StartRead(ReadPurpose purpose) {
    readPurpose_ = purpose;
    shownPercent_ = -1;
    ctx_.differences.clear();
    ctx_.host.DisableJobButtons();
    ctx_.state.readAddress = 0;
    ReadBlockStart(ctx_.state.readAddress);
    ctx_.state.readAddress += DATA_BLOCK_SIZE;
    ctx_.host.EnableJobButtons();
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
    const std::uint32_t asked = ctx_.request.blockAddress();
    // A refusal carries no chip data, whatever its data bytes hold. Other
    // adapters may leave the status unset: only an explicit NAK refuses.
    if (ctx_.reply[OFFSET_STATUS] == STATUS_NAK) {
        ctx_.host.AppendLog(QString::asprintf("Read refused by the adapter at %06X\r\n", asked));
        ctx_.FailJob(ReadStep(asked), FailureReason::kRefused);
        return;
    }
    // The adapter names where its data belongs; a place outside the read-back
    // image is not stored, and the read cannot go on from it.
    if (address > ImageBuffer::kSize - DATA_BLOCK_SIZE) {
        ctx_.host.AppendLog(QString::asprintf("Read address %06X out of range!\r\n", address));
        ctx_.FailJob(ReadStep(asked),
                     QString::asprintf("the reply names address 0x%06X, past the image", address));
        return;
    }
    std::copy_n(ctx_.reply.begin() + OFFSET_DATA, DATA_BLOCK_SIZE, ctx_.image.readBack() + address);
    const std::uint32_t percent =
        s.readEnd == 0 || s.readAddress > s.readEnd ? 100 : s.readAddress * 100 / s.readEnd;
    // Thousands of blocks move the bar a hundred times.
    if (int(percent) != shownPercent_) ctx_.Post(WM_JOB_PROGRESS, PROGRESS_PERCENT, percent);
    shownPercent_ = int(percent);
    // The block at readEnd itself is read too, even when it starts there.
    if (s.readAddress <= s.readEnd) {
        ctx_.request.SetBlockAddress(s.readAddress);
        ctx_.request.SetCommand(CMD_READ_BLOCK);
        s.readAddress += DATA_BLOCK_SIZE;
        ctx_.Send();
    } else {
        ctx_.Post(WM_JOB_PROGRESS, PROGRESS_READ_FINISHED, 0);
    }
}

QString DataJobs::ReadStep(std::uint32_t address) const {
    switch (readPurpose_) {
        case ReadPurpose::Read: return QString::asprintf("read block at 0x%06X", address);
        case ReadPurpose::Verify: return QString::asprintf("verify read-back at 0x%06X", address);
        case ReadPurpose::ClosingVerify: return QString::asprintf("closing verify read-back at 0x%06X", address);
    }
    return {};
}

QString DataJobs::CompareStep(ReadPurpose purpose) {
    return purpose == ReadPurpose::ClosingVerify ? "closing verify read-back" : "verify read-back";
}

// Comes after the last percentage the read posted.
void DataJobs::OnReadFinished() {
    const JobState& s = ctx_.state;
    if (!s.busy) return;  // the job ended meanwhile
    if (readPurpose_ != ReadPurpose::Read) {
        FinishCompare();
        return;
    }
    ctx_.host.AppendLog(QString::asprintf("Read from addr:%06X to %06X finished!\r\n", s.readStart, s.readEnd));
    ctx_.host.SetProgress(100, 0);
    ctx_.host.ShowData(ctx_.image.readBack(), std::size_t(s.readEnd) + 1);
    ctx_.host.EnableHexView(true);
    NoteReadDifferences();
    ctx_.ImageReplaced(JobContext::Image::ReadBack);
    ctx_.EndJob(true);
}

// With a file loaded, what was read is compared with it over the range read,
// so that damage on the way or a chip that differs shows at once.
void DataJobs::NoteReadDifferences() {
    const JobState& s = ctx_.state;
    const std::uint32_t size = ctx_.image.imageSize();
    ctx_.compared = s.fileLoaded;
    if (!s.fileLoaded || s.readStart >= size) return;
    const std::uint32_t end = std::min(size, s.readEnd + 1);
    DifferingAddresses(ctx_.image.program(), ctx_.image.readBack(), s.readStart, end, ctx_.differences);
    if (ctx_.differences.empty()) return;
    ctx_.host.AppendLog(QString::asprintf("%d bytes differ from the loaded file, the first at %06X\r\n",
                                          int(ctx_.differences.size()), ctx_.differences.front()));
}
