#include "engine/job_engine.h"

#include "engine/chip_catalogue.h"
#include "engine/protocol.h"
#include "engine/reply_view.h"
#include "link/window_messages.h"

namespace {

constexpr char kCheckingLine[] = "QZProgrammer attached! Checking device...";
constexpr char kNoChipLine[] = "no chip detected\r\n";
constexpr char kBusyLine[] = "Program is busy\r\n";

}  // namespace

JobEngine::JobEngine(HidBackend& backend, HotplugSource* hotplug, JobHost& host,
                     UserPrompts& prompts, const LinkTiming& timing)
    : host_(host), prompts_(prompts), link_(backend, hotplug, this, timing) {
    // A request lost with the adapter gets no outcome from the link; without
    // this the job would wait for ever with every button refusing as busy.
    link_.SetDropHook([this] { OnLinkLost(); });
}

JobEngine::~JobEngine() { link_.CloseAdapter(); }

void JobEngine::Initialise() { link_.Initialise(); }

bool JobEngine::event(QEvent* e) {
    if (e->type() == WM_ADAPTER_REPLY) {
        auto* m = static_cast<AdapterReplyMessage*>(e);
        OnAdapterReply(m->wParam, m->lParam, m->reply);
        return true;
    }
    if (e->type() == WM_JOB_PROGRESS) {
        auto* m = static_cast<WindowMessage*>(e);
        OnJobProgress(m->wParam, m->lParam);
        return true;
    }
    return QObject::event(e);
}

void JobEngine::Send() {
    awaitingReply_ = true;
    link_.SendAdapterReport(request_.raw(), RequestBlock::size(), 1);
}

void JobEngine::EndJob() {
    state_.busy = false;
    state_.autoProgram = false;
}

void JobEngine::SetAccessMode(std::uint8_t mode) {
    state_.accessMode = mode;
    request_.SetAccessMode(mode);
}

// ---- replies -------------------------------------------------------------

void JobEngine::OnAdapterReply(int outcome, std::int64_t detail, const Payload& reply) {
    awaitingReply_ = false;
    if (!state_.busy) return;
    switch (outcome) {
        case REPLY_READY:
            reply_ = reply;
            DispatchReply();
            break;
        case REPLY_TIMEOUT:
            OnTimeout();
            break;
        case REPLY_NO_HANDLE:
            host_.AppendLog(detail == 0 ? "write handle error!" : "read handle error!\r\n");
            EndJob();
            break;
        case REPLY_WRITE_FAILED:
            host_.AppendLog(QString::asprintf("Usb Error,Error Code:%d. Processing Terminated!\r\n",
                                              int(detail)));
            EndJob();
            break;
        default:
            break;
    }
}

void JobEngine::DispatchReply() {
    switch (reply_[0]) {
        case CMD_VERIFY: OnVerifyReply(); break;
        case CMD_READ_ID: OnReadIdReply(); break;
        case CMD_DETECT: OnDetectReply(); break;
        default: OnUndefinedReply(); break;
    }
}

void JobEngine::OnTimeout() {
    EndJob();
    host_.AppendLog(TimeoutLine(request_.command()));
}

// A reply whose code the host does not know: nothing would ever send the next
// request, so the job ends here.
void JobEngine::OnUndefinedReply() {
    host_.AppendLog("undefined commands feed back!");
    EndJob();
}

void JobEngine::OnLinkLost() {
    if (!awaitingReply_ || !state_.busy) return;
    awaitingReply_ = false;
    OnTimeout();
}

void JobEngine::OnVerifyReply() {
    state_.busy = false;
    host_.AppendLog("Verify Succeed!\r\n");
}

// ---- detection -----------------------------------------------------------

void JobEngine::Detect() {
    // Detect sends a request of its own: beside a running job, two requests
    // would be outstanding and the job's chain would be cut.
    if (state_.busy) {
        host_.AppendLog(kBusyLine);
    } else if (link_.attached()) {
        host_.AppendLog(kCheckingLine);
        state_.busy = true;
        request_.SetCommand(CMD_DETECT);
        Send();
    } else {
        host_.AppendLog("No adapter attached! please check you hardware connection.\r\n");
    }
    host_.SetProgress(0, 7);
}

void JobEngine::StartChipCheck() {
    if (host_.AutoChipChecked()) {
        request_.SetCommand(CMD_DETECT);
    } else {
        request_.SetChipIndex(std::uint8_t(host_.SelectedChip()));
        request_.SetCommand(CMD_READ_ID);
    }
    host_.AppendLog(kCheckingLine);
    Send();
}

void JobEngine::OnDetectReply() {
    const ReplyView view(reply_);
    const unsigned count = view.chipCount();
    for (std::uint8_t type : view.chipTypes()) {
        reply_[3] = type;
        host_.AppendLog(QString::fromStdString(ChipCatalogue::detectionLines(type, view)));
    }
    const std::uint8_t chip = reply_[3];

    if (count == 1 && ChipCatalogue::isSelectable(chip)) {
        host_.SelectChip(chip);
        if (state_.autoProgram) {
            request_.SetChipIndex(chip);
            request_.SetCommand(CMD_ERASE);
            Send();
        }
    }
    if (count >= 2) {
        host_.SetAutoChip(false);
        host_.SelectChip(0);
        EndJob();
        prompts_.ShowMessage("more than one chip detected, please select the chip manual!");
    } else if (count == 1) {
        host_.SetAutoChip(true);
        request_.SetChipIndex(chip);
        // A chip the list does not hold cannot be erased: the chain ends here.
        if (!state_.autoProgram || !ChipCatalogue::isSelectable(chip)) EndJob();
    } else {
        host_.AppendLog(kNoChipLine);
        host_.SetAutoChip(true);
        request_.SetChipIndex(chip);
        EndJob();
    }
}

void JobEngine::OnReadIdReply() {
    const int selected = host_.SelectedChip();
    request_.SetChipIndex(std::uint8_t(selected));
    if (selected != reply_[3]) {
        host_.AppendLog("Selected cihp not found!\r\n");
        EndJob();
        return;
    }
    host_.AppendLog(QString::fromStdString(ChipCatalogue::confirmationLine(selected)));
    request_.SetCommand(CMD_ERASE);
    Send();
}

// ---- auto program --------------------------------------------------------

void JobEngine::AutoProgram() {
    if (!state_.fileLoaded || state_.busy) {
        host_.AppendLog("please open a file first\r\n");
        return;
    }
    if (!link_.attached()) {
        host_.AppendLog("Please connect your programmer first!\r\n");
        return;
    }
    state_.autoProgram = true;
    state_.busy = true;
    if (!state_.reloadLastFile) {
        StartChipCheck();
        return;
    }
    state_.reloadNow = true;
    StartFileLoad();
}

// ---- progress ------------------------------------------------------------

void JobEngine::OnJobProgress(int kind, std::int64_t value) {
    if (kind == PROGRESS_PERCENT) {
        host_.ShowTransientLine(QString::asprintf("Processing... %d%%\r\n", int(value)));
        host_.SetProgress(100, int(value));
    }
}

// ---- file load -----------------------------------------------------------

void JobEngine::StartFileLoad() {
    if (workerSlotClosed_) return;
    // The image loader is not wired in yet: a load that cannot run fails, and
    // a failed load ends whatever job was waiting for it.
    OnFileLoadFailed();
}

void JobEngine::OnFileLoadFailed() {
    state_.busy = false;
    state_.autoProgram = false;
    state_.firmwareUpdate = false;
    state_.reloadNow = state_.reloadLastFile;
}
