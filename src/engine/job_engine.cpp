#include "engine/job_engine.h"

#include <QCoreApplication>
#include <algorithm>

#include "engine/chip_catalogue.h"
#include "engine/failure_reasons.h"
#include "engine/protocol.h"
#include "engine/reply_view.h"
#include "link/window_messages.h"

namespace {

constexpr char kNoChipLine[] = "no chip detected\r\n";
constexpr char kBusyLine[] = "Program is busy\r\n";
constexpr char kUndefinedLine[] = "undefined commands feed back!";

}  // namespace

JobEngine::JobEngine(HidBackend& backend, HotplugSource* hotplug, JobHost& host,
                     UserPrompts& prompts, const LinkTiming& timing)
    : host_(host),
      link_(backend, hotplug, this, timing),
      ctx_(host_, prompts, link_, this),
      files_(ctx_, this, timing.loadStopMs),
      data_(ctx_),
      save_(ctx_, keeper_),
      firmware_(ctx_, timing.reconnectDeadlineMs),
      replyTimeoutMs_(timing.replyTimeoutMs) {
    // A request lost with the adapter gets no outcome from the link; without
    // this the job would wait for ever with every button refusing as busy.
    link_.SetDropHook([this] { OnLinkLost(); });
    // A firmware update goes on over the connection of the restarted adapter.
    link_.SetReopenHook([this] { firmware_.OnReopened(); });
    // A reply that came too late for its own request is not taken as the
    // answer to the next one.
    link_.SetReplyMatcher(&AnswersRequest, &IsKnownReplyCode);
    link_.SetAccessProblemHook([this](const std::string& line) { ctx_.host.AppendLog(QString::fromStdString(line)); });
    ctx_.imageReplaced = [this](JobContext::Image which) {
        switch (which) {
            case JobContext::Image::Program:
                keeper_.OnProgramLoaded();
                emit ImagesChanged(ImageChange::Program);
                break;
            case JobContext::Image::ReadBack:
                keeper_.OnReadBackRead();
                emit ImagesChanged(ImageChange::ReadBack);
                break;
            case JobContext::Image::ReadBackStarted:
                keeper_.OnReadBackStarted();
                emit ImagesChanged(ImageChange::ReadBack);
                break;
        }
    };
    // The chip in another adapter's socket, or in this one's once it is
    // plugged back, is not known before it has been asked for.
    connect(&link_, &AdapterLink::StateChanged, this, [this] {
        if (!link_.isOpen()) NameChip(kNoChipNamed);
    });
    ctx_.jobBegun = [this](JobKind job) { emit JobBegun(job); };
}

JobEngine::~JobEngine() { link_.CloseAdapter(); }

void JobEngine::Initialise() {
    if (const std::string note = link_.StartupNote(); !note.empty())
        ctx_.host.AppendLog(QString::fromStdString(note) + "\r\n");
    link_.Initialise();
}

bool JobEngine::event(QEvent* e) {
    if (e->type() == WM_ADAPTER_REPLY) {
        auto* m = static_cast<AdapterReplyMessage*>(e);
        // The outcome of a request that a job left behind when it ended
        // (a deadline, a cancel) is no answer to the request of the job now
        // running; that request's own outcome is still to come.
        if (m->serial != 0 && m->serial != ctx_.awaitedSerial) return true;
        OnAdapterReply(*m);
        return true;
    }
    if (e->type() == WM_LOAD_FINISHED) {
        OnLoadFinished(static_cast<LoadFinishedMessage*>(e)->outcome);
        return true;
    }
    if (e->type() == WM_JOB_ENDED) {
        OnJobEnded(*static_cast<JobEndedMessage*>(e));
        return true;
    }
    if (e->type() == WM_JOB_PROGRESS) {
        auto* m = static_cast<WindowMessage*>(e);
        OnJobProgress(m->wParam, m->lParam);
        return true;
    }
    return QObject::event(e);
}

// Every job, however it ended, says how long it took, after its own last
// line; the notice comes once the handler that ended it has logged that.
// A failed job says where it stopped and why on a line of its own, after
// the job's own last line.
void JobEngine::OnJobEnded(const JobEndedMessage& message) {
    const auto job = JobKind(message.wParam);
    const bool succeeded = message.lParam == 1;
    if (!succeeded && !message.failStep.isEmpty()) {
        const QString reason = message.failStep + ": " + message.failDetail + "\r\n";
        ctx_.host.AppendLog(host_.lineOpen() ? "\r\n" + reason : reason);
    }
    const QString line = JobMeter::DurationLine(message.elapsedMs, message.bytes);
    ctx_.host.AppendLog(host_.lineOpen() ? "\r\n" + line : line);
    if (jobEnded_) jobEnded_(job, succeeded);
    emit JobEnded(job, succeeded);
}

void JobEngine::Cancel() {
    if (!ctx_.state.busy) return;
    if (ctx_.state.job == JobKind::FirmwareUpdate && !firmware_.MayCancel()) return;
    ctx_.cancelRequested = true;
}

bool JobEngine::CancelAtThisReply() {
    if (!ctx_.cancelRequested) return false;
    if (ctx_.state.firmwareUpdate) return firmware_.CancelAtThisReply(StepInFlight());
    const JobKind job = ctx_.state.job;
    FailEarly(StepInFlight(), FailureReason::kCancelled);
    ctx_.host.AppendLog(QString::asprintf("%s cancelled\r\n", JobName(job)));
    return true;
}

void JobEngine::UseImage(const std::uint8_t* bytes, std::uint32_t size, const QString& path,
                         const QString& timeText) {
    const std::uint32_t kept = std::min(size, ImageBuffer::kSize);
    std::copy_n(bytes, kept, ctx_.image.ResetStaging());
    ctx_.image.CommitLoad(kept);
    ctx_.image.loadedFilePath = path;
    ctx_.image.fileTimeText = timeText;
    ctx_.state.fileLoaded = true;
    ctx_.ImageReplaced(JobContext::Image::Program);
}

void JobEngine::UseSharedImage(std::shared_ptr<std::uint8_t[]> block, std::uint32_t size, const QString& path,
                               const QString& timeText) {
    ctx_.image.ShareProgram(std::move(block), size);
    ctx_.image.loadedFilePath = path;
    ctx_.image.fileTimeText = timeText;
    ctx_.state.fileLoaded = true;
    ctx_.ImageReplaced(JobContext::Image::Program);
}

// New patches under a running job would change what it sends half way.
bool JobEngine::SetPatches(ImagePatchList patches) {
    if (ctx_.state.busy) return false;
    ctx_.patches = std::move(patches);
    return true;
}

// An edit while a job runs would change what the job is sending or storing.
bool JobEngine::EditProgram(const std::uint8_t* bytes, std::size_t length) {
    if (ctx_.state.busy || files_.running()) return false;
    keeper_.ReplaceProgram(bytes, length);
    emit ImagesChanged(ImageChange::Program);
    return true;
}

bool JobEngine::EditReadBack(const std::uint8_t* bytes, std::size_t length) {
    if (ctx_.state.busy || files_.running()) return false;
    keeper_.ReplaceReadBack(bytes, length);
    emit ImagesChanged(ImageChange::ReadBack);
    return true;
}

// A save beside a read would write what is being overwritten.
void JobEngine::Save() {
    if (ctx_.state.busy || files_.running()) {
        ctx_.host.AppendLog(kBusyLine);
        return;
    }
    if (!save_.saveReadBack()) return;
    keeper_.MarkReadBackSaved();
    emit ImagesChanged(ImageChange::Marks);
}

QString JobEngine::SaveProgram() {
    if (ctx_.state.busy || files_.running()) {
        ctx_.host.AppendLog(kBusyLine);
        return {};
    }
    const auto answer = ctx_.prompts.AskSaveFile({SaveJob::kFilter, {}, {}});
    if (!answer) return {};
    const QString path = SaveJob::CompleteName(answer->path, answer->filterIndex);
    QString error;
    if (!keeper_.SaveProgram(path, &error)) {
        ctx_.prompts.ShowMessage(QString("Cannot save the file %1: %2").arg(path, error));
        return {};
    }
    keeper_.MarkProgramSaved();
    ctx_.host.AppendLog(QString("File %1 have been saved successfully!").arg(path));
    emit ImagesChanged(ImageChange::Marks);
    return path;
}

void JobEngine::SetAccessMode(std::uint8_t mode) {
    ctx_.state.accessMode = mode;
    ctx_.request.SetAccessMode(mode);
}

// ---- replies -------------------------------------------------------------

void JobEngine::OnAdapterReply(const AdapterReplyMessage& m) {
    // A reply no protocol code names is told while the request waits on.
    if (m.wParam == REPLY_UNDEFINED_CODE) {
        if (ctx_.state.busy && ctx_.awaitingReply) ctx_.host.AppendLog(kUndefinedLine);
        return;
    }
    ctx_.awaitingReply = false;
    if (!ctx_.state.busy) return;
    switch (m.wParam) {
        case REPLY_READY:
            ctx_.reply = m.reply;
            if (CancelAtThisReply()) break;
            if (m.reply[0] == ctx_.expectedReply) DispatchReply();
            else OnUndefinedReply();
            break;
        case REPLY_TIMEOUT:
            OnTimeout(m);
            break;
        case REPLY_NO_HANDLE:
            FailEarly(StepInFlight(), m.lParam == 0 ? "no write handle" : "no read handle");
            ctx_.host.AppendLog(m.lParam == 0 ? "write handle error!" : "read handle error!\r\n");
            break;
        case REPLY_WRITE_FAILED:
            FailEarly(StepInFlight(), FailureReason::WriteFailed(m.bytesWritten, m.lParam));
            ctx_.host.AppendLog(QString::asprintf("Usb Error,Error Code:%d. Processing Terminated!\r\n",
                                                  int(m.lParam)));
            break;
        default:
            break;
    }
}

// Where the running job is: the step whose reply it awaits (or whose reply
// has just come).
QString JobEngine::StepInFlight() const {
    const bool firmware = ctx_.state.firmwareUpdate;
    switch (ctx_.expectedReply) {
        case CMD_DETECT: return "detect";
        case CMD_READ_ID: return "read id";
        case CMD_ERASE: return firmware ? "firmware erase" : "erase";
        case CMD_VERIFY: return "verify";
        case CMD_PROGRAM_VERIFY: return firmware ? "firmware verify" : "closing verify";
        case CMD_ENTER_BOOT: return "enter boot";
        case CMD_FIRMWARE_DONE: return "firmware done";
        case CMD_READ_BLOCK: return data_.ReadStep(ctx_.request.blockAddress());
        case CMD_WRITE_BLOCK:
            // The block in flight is the one before the next; a skipped
            // block never reached the request block's address field.
            if (firmware) return FailureReason::FirmwareBlock(ctx_.state.programAddress - DATA_BLOCK_SIZE / 2);
            return FailureReason::ProgramBlock(ctx_.state.programAddress - DATA_BLOCK_SIZE);
        default: return QString(JobName(ctx_.state.job)).toLower();
    }
}

void JobEngine::DispatchReply() {
    switch (ctx_.reply[0]) {
        case CMD_READ_BLOCK: data_.OnReadBlockReply(); break;
        case CMD_FIRMWARE_DONE: firmware_.OnDoneReply(); break;
        case CMD_ERASE: OnEraseReply(); break;
        case CMD_VERIFY: OnVerifyReply(); break;
        case CMD_READ_ID: OnReadIdReply(); break;
        case CMD_PROGRAM_VERIFY: OnProgramVerifyReply(); break;
        case CMD_WRITE_BLOCK: OnWriteBlockReply(); break;
        case CMD_ENTER_BOOT: firmware_.OnEnterBootReply(); break;
        case CMD_DETECT: OnDetectReply(); break;
        default: OnUndefinedReply(); break;
    }
}

// The replies that a firmware update shares with the chip jobs.
void JobEngine::OnEraseReply() {
    if (ctx_.state.firmwareUpdate) firmware_.OnEraseReply();
    else data_.OnEraseReply();
}

void JobEngine::OnWriteBlockReply() {
    if (ctx_.state.firmwareUpdate) firmware_.OnWriteBlockReply();
    else data_.OnWriteBlockReply();
}

void JobEngine::OnVerifyReply() { data_.OnVerifyReply(); }

void JobEngine::OnProgramVerifyReply() {
    if (ctx_.state.firmwareUpdate) firmware_.OnProgramVerifyReply();
    else data_.OnProgramVerifyReply();
}

// A job cut short by the link: nothing of it may go on later.
void JobEngine::FailEarly(const QString& step, const QString& detail) {
    ctx_.NoteFailure(step, detail);
    if (ctx_.state.firmwareUpdate) firmware_.Abort();
    ctx_.EndJob();
}

void JobEngine::OnTimeout(const AdapterReplyMessage& m) {
    if (firmware_.DoneSent()) {
        firmware_.OnDoneUnanswered();
        return;
    }
    FailEarly(StepInFlight(), FailureReason::NoReply(replyTimeoutMs_, m.droppedReplies, m.firstDroppedCode));
    ctx_.host.AppendLog(TimeoutLine(ctx_.request.command()));
}

// A reply of a kind the running job did not ask for: nothing would ever send
// the next request, so the job ends here.
void JobEngine::OnUndefinedReply() {
    ctx_.host.AppendLog(kUndefinedLine);
    FailEarly(StepInFlight(), QString::asprintf("reply of code 0x%02X to a request of code 0x%02X",
                                                ctx_.reply[0], ctx_.expectedReply));
}

// The request went with the adapter, or was a skipped block whose made-up
// answer is still on its way: either way the job is over, and it is the job
// that the line names, not the last command that happened to go out.
void JobEngine::OnLinkLost() {
    if (!ctx_.awaitingReply || !ctx_.state.busy) return;
    ctx_.awaitingReply = false;
    if (firmware_.DoneSent()) {
        firmware_.OnDoneUnanswered();
        return;
    }
    const JobKind job = ctx_.state.job;
    FailEarly(StepInFlight(), FailureReason::kRemoved);
    ctx_.host.AppendLog(QString::asprintf("Adapter removed, %s terminated!\r\n", JobName(job)));
}

// ---- detection -----------------------------------------------------------

void JobEngine::Detect() {
    // Detect sends a request of its own: beside a running job, two requests
    // would be outstanding and the job's chain would be cut.
    if (ctx_.state.busy) {
        ctx_.host.AppendLog(kBusyLine);
    } else if (link_.attached()) {
        host_.AppendContinued(JobContext::kCheckingLine);
        ctx_.BeginJob(JobKind::Detect);
        ctx_.request.SetCommand(CMD_DETECT);
        ctx_.Send();
    } else {
        ctx_.host.AppendLog("No adapter attached! please check you hardware connection.\r\n");
    }
    ctx_.host.SetProgress(0, 7);
}

void JobEngine::CheckChip() {
    if (ctx_.state.busy || files_.running()) {
        ctx_.host.AppendLog(kBusyLine);
    } else if (!link_.attached()) {
        ctx_.host.AppendLog("No adapter attached! please check you hardware connection.\r\n");
    } else {
        ctx_.BeginJob(JobKind::Detect);
        StartChipCheck();
    }
}

void JobEngine::StartChipCheck() { ctx_.StartChipCheck(); }

void JobEngine::OnDetectReply() {
    const ReplyView view(ctx_.reply);
    const unsigned count = view.chipCount();
    for (std::uint8_t type : view.chipTypes()) {
        ctx_.reply[3] = type;
        ctx_.host.AppendLog(QString::fromStdString(ChipCatalogue::detectionLines(type, view)));
    }
    const std::uint8_t chip = ctx_.reply[3];
    NameChip(count == 1 && ChipCatalogue::isSelectable(chip) ? chip : kNoChipNamed);
    if (count >= 2) {
        ctx_.host.SetAutoChip(false);
        ctx_.host.SelectChip(0);
        ctx_.FailJob("detect", QString("%1 chips detected, one must be chosen").arg(count));
        ctx_.prompts.ShowMessage("more than one chip detected, please select the chip manual!");
        return;
    }
    if (count == 0) ctx_.host.AppendLog(kNoChipLine);
    const bool selectable = count == 1 && ChipCatalogue::isSelectable(chip);
    if (selectable) ctx_.host.SelectChip(chip);
    ctx_.host.SetAutoChip(true);
    ctx_.request.SetChipIndex(chip);
    if (count == 0) {
        ctx_.FailJob("detect", "no chip detected");
    } else if (!selectable) {
        // A chip the list does not hold cannot be erased: the chain ends here.
        ctx_.FailJob("detect",
                     QString("the adapter reports chip type %1, which is not in the chip list").arg(chip));
    } else {
        OnChipConfirmed();
    }
}

void JobEngine::OnReadIdReply() {
    if (ctx_.state.firmwareUpdate) {
        firmware_.OnReadIdReply();
        return;
    }
    const int selected = ctx_.host.SelectedChip();
    ctx_.request.SetChipIndex(std::uint8_t(selected));
    NameChip(selected == ctx_.reply[3] ? selected : kNoChipNamed);
    if (selected != ctx_.reply[3]) {
        ctx_.host.AppendLog("Selected cihp not found!\r\n");
        ctx_.FailJob("read id", QString("the adapter reports chip %1, not the selected chip %2")
                                    .arg(ctx_.reply[3])
                                    .arg(selected));
        return;
    }
    ctx_.host.AppendLog(QString::fromStdString(ChipCatalogue::confirmationLine(selected)));
    OnChipConfirmed();
}

// The chip in the socket is the one the job is for: an auto program goes
// on to erase, a verify to the adapter's own check; a chip check alone ends.
void JobEngine::OnChipConfirmed() {
    if (ctx_.state.autoProgram) {
        ctx_.request.SetCommand(CMD_ERASE);
        ctx_.Send();
    } else if (ctx_.state.job == JobKind::Verify) {
        data_.SendVerify();
    } else {
        ctx_.EndJob(true);
    }
}

void JobEngine::NameChip(int chip) {
    if (chip == chipInUse_) return;
    chipInUse_ = chip;
    emit ChipInUseChanged(chip);
}

// ---- auto program --------------------------------------------------------

void JobEngine::AutoProgram() {
    if (ctx_.state.busy || files_.running()) {
        ctx_.host.AppendLog(kBusyLine);
        return;
    }
    if (!ctx_.state.fileLoaded) {
        ctx_.host.AppendLog("please open a file first\r\n");
        return;
    }
    // A reload reads the file afresh, and its size is known only then.
    if (!ctx_.state.reloadLastFile && ctx_.image.imageSize() == 0) {
        ctx_.host.AppendLog(ctx_.EmptyImageLine());
        return;
    }
    if (!link_.attached()) {
        ctx_.host.AppendLog("Please connect your programmer first!\r\n");
        return;
    }
    // Reloading would throw the edits away: the user decides. No programs
    // the write buffer as it is.
    bool reload = ctx_.state.reloadLastFile;
    if (reload && keeper_.programModified()) {
        reload = ctx_.prompts.AskWarning(
            QString("The write buffer has unsaved edits.\r\nReload %1 over them?").arg(ctx_.image.loadedFilePath),
            "Warning", UserPrompts::Buttons::YesNo);
    }
    if (!reload && ctx_.image.imageSize() == 0) {
        ctx_.host.AppendLog(ctx_.EmptyImageLine());
        return;
    }
    ctx_.BeginJob(JobKind::AutoProgram);
    ctx_.state.autoProgram = true;
    if (!reload) {
        StartChipCheck();
        return;
    }
    ctx_.state.reloadNow = true;
    files_.Start();
}

// A load over edits not yet saved would throw them away: the user saves them
// first, throws them away, or keeps them and loads nothing. A busy engine
// refuses the load anyway, without a question.
bool JobEngine::MayLoadOverEdits() {
    if (ctx_.state.busy || files_.running() || !keeper_.programModified()) return true;
    switch (ctx_.prompts.AskSaveDiscard("The write buffer has unsaved edits.\r\nSave them before loading another file?",
                                        "Warning")) {
        case UserPrompts::Keep::Save:
            SaveProgram();
            return !keeper_.programModified();
        case UserPrompts::Keep::Discard:
            return true;
        case UserPrompts::Keep::Cancel:
            break;
    }
    return false;
}

// ---- progress ------------------------------------------------------------

void JobEngine::OnJobProgress(int kind, std::int64_t value) {
    switch (kind) {
        case PROGRESS_PERCENT:
            ctx_.host.ShowTransientLine(QString::asprintf("Processing... %d%%\r\n", int(value)));
            ctx_.host.SetProgress(100, int(value));
            break;
        case PROGRESS_READ_FINISHED:
            data_.OnReadFinished();
            break;
        case PROGRESS_FILE_LOADED:
            files_.LogLoaded();
            if (ctx_.state.firmwareUpdate) {
                firmware_.OnImageLoaded();
                break;
            }
            emit FileLoaded(ctx_.image.loadedFilePath);
            if (ctx_.state.reloadLastFile && ctx_.state.autoProgram) OnReloaded();
            break;
        default:
            break;
    }
}

// An auto program's file, read afresh, may have lost its data meanwhile.
void JobEngine::OnReloaded() {
    if (ctx_.image.imageSize() > 0) {
        StartChipCheck();
        return;
    }
    const QString line = ctx_.EmptyImageLine();
    ctx_.host.AppendLog(line);
    ctx_.FailJob("load file", line.chopped(2));
}

// ---- firmware ----------------------------------------------------------------

void JobEngine::StartFirmwareUpdate() {
    // A load under way is a job of its own: the update would take its image.
    if (files_.running()) {
        ctx_.host.AppendLog("Progrmming is busy!\r\n");
        return;
    }
    // The firmware image takes the write buffer's place.
    if (!MayLoadOverEdits()) return;
    firmware_.StartFirmwareUpdate([this] { files_.Start(); });
}

// ---- file load -----------------------------------------------------------

void JobEngine::OnLoadFinished(const FileLoadOutcome& outcome) {
    // A job that waited for a file that failed (a reload, a firmware image)
    // has ended with the failure.
    if (!files_.Finish(outcome)) return;
    // The log line and an auto program's next step come with the file-loaded
    // message, after any percentages the parse posted.
    QCoreApplication::postEvent(this, new WindowMessage(WM_JOB_PROGRESS, PROGRESS_FILE_LOADED, 0));
}
