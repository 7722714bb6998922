#include "cli/adapter_session.h"

#include "cli/console.h"
#include "engine/chip_catalogue.h"
#include "engine/job_meter.h"
#include "image/checksum.h"
#include "image/read_back_writer.h"

namespace {

constexpr std::size_t kMismatchesShown = 20;

const char* StepName(AdapterSession::Step step) {
    switch (step) {
        case AdapterSession::Step::CheckChip: return "detect";
        case AdapterSession::Step::Erase: return "erase";
        case AdapterSession::Step::Program: return "program";
        case AdapterSession::Step::Verify: return "verify";
        case AdapterSession::Step::Read: return "read";
        case AdapterSession::Step::Auto: return "auto";
        case AdapterSession::Step::Firmware: return "firmware";
    }
    return "";
}

}  // namespace

void BenchImage::Describe(QJsonObject& o) const {
    o["file"] = path;
    o["crc32"] = Crc32Text(crc);
    o["format"] = ImageFormatName(format);
    if (!header.isEmpty()) o["header"] = header;
    if (start) o["start"] = QString::asprintf("%08X", *start);
}

QString FailureText(const SessionResult& result) {
    QString text = result.reason;
    if (result.step.isEmpty()) return text;
    const QString where = result.detail.isEmpty() ? result.step : result.step + ": " + result.detail;
    return text.isEmpty() ? where : text + " [" + where + "]";
}

AdapterSession::AdapterSession(AdapterRef adapter, HidBackend& backend, std::unique_ptr<HotplugSource> hotplug,
                               const CliOptions& options, const BenchImage* image, Console& console,
                               const LinkTiming& timing)
    : adapter_(std::move(adapter)),
      options_(options),
      image_(image),
      console_(console),
      hotplug_(std::move(hotplug)),
      host_([this](const QString& line) {
          if (!options_.quiet && !options_.json) console_.Err("[" + adapter_.label + "] " + line);
      }),
      prompts_([this](const QString& text) { console_.Err("[" + adapter_.label + "] " + text); }) {
    engine_ = std::make_unique<JobEngine>(backend, hotplug_.get(), host_, prompts_, timing);
    engine_->SetAdapterPath(adapter_.path);
    engine_->SetJobEndedHook([this](JobKind, bool succeeded) { OnJobEnded(succeeded); });
    engine_->Initialise();
    engine_->SetAccessMode(options_.access);
    host_.SetAutoChip(options_.chip < 0);
    if (options_.chip >= 0) host_.SelectChip(options_.chip);
    if (image_) {
        engine_->UseSharedImage(image_->block, image_->size, image_->path, image_->timeText);
    }
    prompts_.SetConfirmed(options_.yes);
    prompts_.SetOpenFile(options_.file);
}

AdapterSession::~AdapterSession() { engine_.reset(); }

void AdapterSession::Run(std::vector<Step> plan, ImagePatchList patches) {
    engine_->SetPatches(std::move(patches));
    plan_ = std::move(plan);
    next_ = 0;
    running_ = true;
    cancelled_ = false;
    result_ = {};
    clock_.start();
    NextStep();
}

void AdapterSession::Cancel() {
    if (!running_) return;
    cancelled_ = true;
    engine_->Cancel();
}

// A plan carried out to its end succeeded, even if Ctrl+C came meanwhile; a
// cancelled one stopped before its next step.
void AdapterSession::NextStep() {
    if (next_ == plan_.size()) return Finish(SessionResult::Outcome::Ok);
    if (cancelled_) {
        result_.step = StepName(plan_[next_]);
        return Finish(SessionResult::Outcome::Cancelled);
    }
    StartStep(plan_[next_++]);
}

void AdapterSession::StartStep(Step step) {
    step_ = step;
    host_.ResetProgress();
    stepClock_.start();
    const std::uint64_t begun = engine_->jobsBegun();
    switch (step) {
        case Step::CheckChip: engine_->CheckChip(); break;
        case Step::Erase: engine_->Erase(); break;
        case Step::Program: engine_->Program(); break;
        case Step::Verify: engine_->Verify(); break;
        case Step::Auto: engine_->AutoProgram(); break;
        case Step::Firmware: engine_->StartFirmwareUpdate(); break;
        case Step::Read: {
            prompts_.SetReadOptions(ReadOptionsFor(options_.range));
            engine_->Read();
            break;
        }
    }
    // A command that refused at once said why in the log and began no job.
    if (engine_->jobsBegun() == begun) {
        host_.Flush();
        result_.reason = host_.lastLine();
        result_.step = StepName(step);
        Finish(SessionResult::Outcome::Failed);
    }
}

void AdapterSession::OnJobEnded(bool succeeded) {
    if (!running_) return;
    host_.Flush();
    if (step_ == Step::CheckChip || step_ == Step::Auto) {
        const std::string_view chip = ChipCatalogue::listText(host_.SelectedChip());
        result_.chip = QString::fromLatin1(chip.data(), int(chip.size()));
    }
    if (step_ == Step::Verify || step_ == Step::Auto) NoteMismatches();
    if (succeeded && step_ == Step::Read && !SaveRead()) {
        // The command line's own step; its reason says why.
        result_.step = "save " + adapter_.output;
        succeeded = false;
    }
    if (!succeeded) {
        if (result_.reason.isEmpty()) result_.reason = host_.lastLine();
        NoteWhereItStopped();
        return Finish(cancelled_ ? SessionResult::Outcome::Cancelled : SessionResult::Outcome::Failed);
    }
    NextStep();
}

// The engine names the step and what happened in it; a failure of the
// command line's own (a file it could not write) has named its step, and an
// engine that names no step leaves the command's own name.
void AdapterSession::NoteWhereItStopped() {
    if (!result_.step.isEmpty()) return;
    result_.step = engine_->lastJobStep();
    result_.detail = engine_->lastJobDetail();
    if (result_.step.isEmpty()) result_.step = StepName(step_);
}

void AdapterSession::Finish(SessionResult::Outcome outcome) {
    if (!running_) return;
    running_ = false;
    result_.outcome = outcome;
    result_.ms = clock_.elapsed();
    emit Finished();
}

// The engine keeps where the chip differs; the bytes on both sides are read
// from the images it compared.
void AdapterSession::NoteMismatches() {
    const std::vector<std::uint32_t>& differing = engine_->differences();
    result_.mismatchCount = differing.size();
    result_.mismatches.clear();
    const ImageBuffer& image = engine_->image();
    for (std::size_t i = 0; i < differing.size() && i < kMismatchesShown; ++i) {
        const std::uint32_t a = differing[i];
        result_.mismatches.push_back({a, PatchedByte(image.program(), engine_->patches(), a), image.readBack()[a]});
    }
}

// The range read, written the way the window's Save writes it.
bool AdapterSession::SaveRead() {
    const std::optional<ReadBackRange>& range = engine_->images().readRange();
    if (!range) {
        result_.reason = "nothing has been read";
        return false;
    }
    const std::uint8_t* read = engine_->image().readBack();
    result_.readCrc = Crc32(read + range->start, range->end + 1 - range->start);
    QString error;
    const bool saved = SaveReadRange(adapter_.output, read, *range, &error);
    if (!saved) result_.reason = "cannot write " + adapter_.output + ": " + error;
    return saved;
}

std::uint64_t AdapterSession::StepBytes() const {
    const JobState& s = engine_->state();
    switch (step_) {
        case Step::Program:
        case Step::Verify:
        case Step::Auto: return image_ ? image_->size : 0;
        case Step::Read: return std::uint64_t(s.readEnd) + 1;
        case Step::Firmware: return engine_->image().imageSize();
        default: return 0;
    }
}

QString AdapterSession::ProgressLine() const {
    const QString head = QString("%1  %2").arg(adapter_.label, -12).arg(StepName(step_), -9);
    if (!running_) {
        static const char* kOutcome[] = {"done", "FAILED", "cancelled"};
        return head + QString("%1  %2").arg(kOutcome[int(result_.outcome)], -9).arg(JobMeter::Seconds(result_.ms));
    }
    const double f = host_.fraction();
    const qint64 ms = std::max<qint64>(stepClock_.elapsed(), 1);
    const std::uint64_t total = StepBytes();
    const double done = f * double(total);
    QString line = head + QString::asprintf("%3d%%", int(f * 100));
    if (total > 0) {
        line += QString::asprintf("  %7.0f / %.0f KiB  %6.1f KiB/s", done / 1024, double(total) / 1024,
                                  done / 1024 / (double(ms) / 1000));
    }
    line += "  " + JobMeter::Seconds(clock_.elapsed());
    if (f > 0.01 && f < 1) line += "  " + JobMeter::Seconds(qint64(double(ms) * (1 - f) / f)) + " left";
    return line;
}

QString AdapterSession::stepName() const { return StepName(step_); }
