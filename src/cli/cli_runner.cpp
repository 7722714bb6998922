#include "cli/cli_runner.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include "cli/production_loop.h"
#include "cli/recipe_command.h"
#include "cli/recipe_station.h"
#include "cli/report_command.h"
#include "engine/job_meter.h"
#include "image/checksum.h"
#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "link/adapter_listing.h"
#include "production/recipe_builder.h"
#include "sim/simulated_backend.h"

namespace {

constexpr int kLiveRedrawMs = 200;
constexpr int kPlainProgressMs = 1000;

// N:KIND@REQUEST puts one fault on simulated adapter N.
bool ApplySimFault(const QString& text, std::vector<SimConfig>& configs) {
    const int adapter = text.section(':', 0, 0).toInt() - 1;
    const QString kind = text.section(':', 1).section('@', 0, 0);
    bool ok = false;
    // A damaged read-back on every request fails each unit the adapter takes.
    const QString when = text.section('@', 1);
    const int request = when == "every" && kind == "corrupt" ? (ok = true, SimConfig::kEveryRequest) : when.toInt(&ok);
    if (adapter < 0 || adapter >= int(configs.size()) || !ok) return false;
    SimConfig::Faults& f = configs[std::size_t(adapter)].faults;
    if (kind == "silent") f.silentRequest = request;
    else if (kind == "nak") f.nakRequest = request;
    else if (kind == "wrong-echo") f.wrongEchoRequest = request;
    else if (kind == "short-write") f.shortWriteRequest = request;
    else if (kind == "fail-write") f.failWriteRequest = request;
    else if (kind == "unplug") f.unplugAfterRequest = request;
    else if (kind == "late") f.lateRequest = request;
    else if (kind == "corrupt") f.corruptReadBack = request;
    else if (!ApplyNamedQuirk(configs[std::size_t(adapter)], kind.toStdString(), request)) return false;
    return true;
}

// A device path as it is written; a serial in either letter case.
bool NamesAdapter(const QString& given, const QString& path, const QString& serial) {
    return given == path || (!serial.isEmpty() && given.compare(serial, Qt::CaseInsensitive) == 0);
}

const char* OutcomeText(SessionResult::Outcome outcome) {
    switch (outcome) {
        case SessionResult::Outcome::Ok: return "ok";
        case SessionResult::Outcome::Failed: return "failed";
        case SessionResult::Outcome::Cancelled: return "cancelled";
    }
    return "";
}

}  // namespace

CliRunner::CliRunner(const CliOptions& options, const LinkTiming& timing) : options_(options), timing_(timing) {
    progressTimer_.setInterval(console_.terminal() ? kLiveRedrawMs : kPlainProgressMs);
    connect(&progressTimer_, &QTimer::timeout, this, &CliRunner::ShowProgress);
}

CliRunner::~CliRunner() {
    production_.reset();
    recipe_.reset();
    sessions_.clear();
    hub_.reset();
}

void CliRunner::Start() {
    if (options_.command == "recipe") return End(RunRecipeNew(options_, console_));
    if (options_.command == "report") return End(RunReport(options_, console_));
    // A recipe that is wrong, or whose image is not the one it names,
    // programs nothing: refused before any adapter is touched.
    if (!options_.recipe.isEmpty() && !PrepareRecipe()) return End(EXIT_USAGE);
    bus_ = MakeBus();
    if (!bus_) return End(EXIT_USAGE);
    if (options_.command == "list") return End(List());
    if (!LoadFile()) return End(EXIT_USAGE);
    if (!options_.recipe.isEmpty() && !MatchRecipeImage()) return End(EXIT_USAGE);
    std::vector<AdapterRef> chosen;
    if (const int refused = ChooseAdapters(chosen); refused != EXIT_OK) return End(refused);
    // The run is recorded only once there is a bench to run it on.
    if (!options_.recipe.isEmpty() && !OpenRecord()) return End(EXIT_USAGE);
    if (options_.command == "read" && !ChooseOutputs(chosen)) return End(EXIT_USAGE);
    hub_ = std::make_unique<HotplugHub>(bus_->hotplug());
    if (options_.command == "production") {
        production_ = std::make_unique<ProductionLoop>(options_, *bus_, *hub_, image_.get(), console_, timing_,
                                                       recipe_.get());
        connect(production_.get(), &ProductionLoop::Finishing, this, &CliRunner::StopProgress);
        connect(production_.get(), &ProductionLoop::Done, this,
                [this](int code) { End(interrupted_ ? ExitCode() : code); });
        if (!options_.quiet && !options_.json) progressTimer_.start();
        production_->Start(chosen);
        return;
    }
    StartSessions(chosen);
}

std::unique_ptr<AdapterBus> CliRunner::MakeBus() {
    if (options_.simulate == 0) return AdapterBus::Real();
    std::vector<SimConfig> configs(std::size_t(options_.simulate), AdapterBus::DemoConfig());
    for (SimConfig& config : configs) config.latencyMs = options_.simLatencyMs;
    for (const QString& fault : options_.simFaults) {
        if (!ApplySimFault(fault, configs)) {
            console_.Err("brellix-cli: bad --sim-fault " + fault + " (N:KIND@REQUEST)");
            return nullptr;
        }
    }
    std::unique_ptr<AdapterBus> bus = AdapterBus::Simulated(configs);
    // Without latency the bench answers at once, and a silent adapter's
    // time-out costs no time either.
    bus->simulatedBus()->SetVirtualTime(options_.simLatencyMs == 0);
    return bus;
}

int CliRunner::List() {
    const std::vector<AdapterListing> adapters = ListAdapters(bus_->backend());
    int refused = 0;
    for (const AdapterListing& a : adapters) {
        const QString path = QString::fromStdString(a.device.path);
        const QString serial = QString::fromStdString(a.device.serial);
        const QString problem = QString::fromStdString(a.problem);
        refused += a.problem.empty() || a.ownerPid != 0 ? 0 : 1;
        if (options_.json) {
            QJsonObject o{{"adapter", path}, {"serial", serial}, {"accessible", a.problem.empty()}};
            if (!a.problem.empty()) o["problem"] = problem;
            console_.Out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
            continue;
        }
        console_.Out(path + "  serial " + (serial.isEmpty() ? "-" : serial) + "  " +
                     (a.problem.empty() ? "ok" : problem));
    }
    if (refused > 0 && !options_.json)
        console_.Err("brellix-cli: to use them, " + QString::fromStdString(AccessAdvice()));
    if (adapters.empty()) {
        // A reader of JSON gets JSON, an empty list, whatever the exit code says.
        if (options_.json) console_.Out("[]");
        else console_.Err("brellix-cli: no adapter found");
        return EXIT_NO_ADAPTER;
    }
    return refused > 0 ? EXIT_NO_ACCESS : EXIT_OK;
}

// The file is read once, by the same code as the window's Open, and every
// adapter gets the same image.
bool CliRunner::LoadFile() {
    if (options_.file.isEmpty()) return true;
    std::shared_ptr<std::uint8_t[]> block(new std::uint8_t[ImageBuffer::kSize]);
    std::fill_n(block.get(), ImageBuffer::kSize, ImageBuffer::kBlank);
    const FileLoadOutcome outcome = loadImageFile(options_.file, block.get(), {}, nullptr, options_.binOffset);
    if (!outcome.result.ok) {
        const QString reason = outcome.result.reason.isEmpty() ? "not loaded" : outcome.result.reason;
        console_.Err("brellix-cli: Cannot load the file " + options_.file + ": " + reason);
        return false;
    }
    // An image without a byte would "program" nothing and pass: it is
    // refused before any adapter is touched.
    if (outcome.result.imageSize == 0 && options_.command != "firmware") {
        console_.Err("brellix-cli: " + options_.file + " holds no data");
        return false;
    }
    image_ = std::make_unique<BenchImage>();
    image_->block = std::move(block);
    image_->size = std::min<std::uint32_t>(outcome.result.imageSize, ImageBuffer::kSize);
    image_->path = options_.file;
    image_->timeText = outcome.timeText;
    image_->crc = Crc32(image_->block.get(), image_->size);
    image_->format = outcome.result.format;
    image_->header = outcome.result.header;
    if (outcome.result.hasStart) image_->start = outcome.result.start;
    if (!options_.json && !options_.quiet) {
        console_.Out(QString("file %1: %2 bytes, CRC-32 %3")
                         .arg(options_.file, QString::number(image_->size), Crc32Text(image_->crc)));
    }
    return true;
}

bool CliRunner::PrepareRecipe() {
    Recipe recipe;
    QStringList problems;
    if (RecipeStation::Prepare(options_, &recipe, &problems)) {
        recipeData_ = std::make_unique<Recipe>(recipe);
        return true;
    }
    for (const QString& problem : problems) console_.Err("brellix-cli: " + problem);
    return false;
}

// The image as loaded for the adapters is the one compared with the recipe:
// what is checked is what is programmed.
bool CliRunner::MatchRecipeImage() {
    const QString why = ImageMismatch(*recipeData_, {image_->size, image_->crc});
    if (!why.isEmpty()) console_.Err("brellix-cli: " + why);
    return why.isEmpty();
}

// Without a record that can be reached, the station does not start.
bool CliRunner::OpenRecord() {
    QString error;
    recipe_ = RecipeStation::Open(options_, *recipeData_, image_->crc, &error);
    if (!recipe_) console_.Err("brellix-cli: " + error);
    else if (!options_.quiet && !options_.json)
        console_.Out(QString("recipe %1 %2, record %3, run %4")
                         .arg(recipeData_->name, recipeData_->version, recipe_->location())
                         .arg(recipe_->runId()));
    return recipe_ != nullptr;
}

// The first adapter, the one asked for, or every one; 0 or the exit code
// that says why there is none to use.
int CliRunner::ChooseAdapters(std::vector<AdapterRef>& chosen) {
    const std::vector<AdapterListing> adapters = ListAdapters(bus_->backend());
    int inUse = 0;
    for (const AdapterListing& a : adapters) {
        const QString path = QString::fromStdString(a.device.path);
        const QString serial = QString::fromStdString(a.device.serial);
        if (!options_.adapter.isEmpty() && !NamesAdapter(options_.adapter, path, serial)) continue;
        if (a.ownerPid != 0) {  // another program drives it: skipped, said why
            ++inUse;
            console_.Err("brellix-cli: " + QString::fromStdString(InUseLine(a.device.path, a.ownerPid)).trimmed());
            continue;
        }
        if (!a.problem.empty()) {
            ++inaccessible_;
            console_.Err("brellix-cli: " + path + ": " + QString::fromStdString(a.problem) + "; " +
                         QString::fromStdString(AccessAdvice()));
            continue;
        }
        chosen.push_back({a.device.path, serial, serial.isEmpty() ? path : serial, {}});
        if (!options_.all) break;
    }
    if (!chosen.empty()) return EXIT_OK;
    if (inaccessible_ > 0) return EXIT_NO_ACCESS;
    if (inUse > 0) return EXIT_NO_ADAPTER;
    console_.Err(options_.adapter.isEmpty() ? "brellix-cli: no adapter found"
                                            : "brellix-cli: no adapter " + options_.adapter);
    return EXIT_NO_ADAPTER;
}

// Each adapter read writes a file of its own: the one named, or with several
// adapters the name with the adapter's serial before the extension, so that
// no adapter's bytes overwrite another's (adapters that share a serial are
// numbered too). A file that cannot be written is said before the read, not
// after a minute of reading.
bool CliRunner::ChooseOutputs(std::vector<AdapterRef>& chosen) {
    const QFileInfo named(options_.output);
    QStringList labels;
    for (const AdapterRef& a : chosen) labels << a.label;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        AdapterRef& a = chosen[i];
        a.output = options_.output;
        if (chosen.size() > 1) {
            QString tag = a.label;
            if (labels.count(a.label) > 1) tag += "-" + QString::number(i + 1);
            tag.replace(QRegularExpression("[^A-Za-z0-9_.-]"), "_");
            a.output = named.dir().filePath(named.completeBaseName() + "-" + tag + "." + named.suffix());
        }
        QSaveFile probe(a.output);
        if (!probe.open(QIODevice::WriteOnly)) {
            console_.Err("brellix-cli: cannot write " + a.output + ": " + probe.errorString());
            return false;
        }
        probe.cancelWriting();
    }
    return true;
}

std::vector<AdapterSession::Step> CliRunner::Plan() const {
    using S = AdapterSession::Step;
    const QString& c = options_.command;
    if (c == "detect") return {S::CheckChip};
    if (c == "erase") return {S::CheckChip, S::Erase};
    if (c == "program" && options_.verify) return {S::CheckChip, S::Program, S::Verify};
    if (c == "program") return {S::CheckChip, S::Program};
    if (c == "verify") return {S::CheckChip, S::Verify};
    if (c == "read") return {S::CheckChip, S::Read};
    if (c == "auto") return {S::Auto};
    return {S::Firmware};
}

void CliRunner::StartSessions(const std::vector<AdapterRef>& adapters) {
    for (const AdapterRef& adapter : adapters) {
        sessions_.push_back(std::make_unique<AdapterSession>(adapter, bus_->backend(), hub_->Tap(), options_,
                                                             image_.get(), console_, timing_));
        // Queued: a session that refuses at once finishes inside Run, before
        // the sessions after it have started and count as running.
        connect(sessions_.back().get(), &AdapterSession::Finished, this, &CliRunner::OnSessionFinished,
                Qt::QueuedConnection);
    }
    if (!options_.quiet && !options_.json) progressTimer_.start();
    for (auto& session : sessions_) session->Run(Plan());
}

void CliRunner::Interrupt(int signal) {
    if (interrupted_) return;
    interrupted_ = true;
    signal_ = signal;
    for (auto& session : sessions_) session->Cancel();
    if (production_) production_->Interrupt();
}

void CliRunner::OnSessionFinished() {
    if (ended_) return;  // summed up already
    for (const auto& session : sessions_)
        if (session->running()) return;
    StopProgress();
    Report();
    End(ExitCode());
}

void CliRunner::ShowProgress() {
    QStringList lines;
    if (production_) lines = production_->ProgressLines();
    for (const auto& session : sessions_) lines << session->ProgressLine();
    console_.Live(lines);
}

// The last state of every line stays on the screen above the summary.
void CliRunner::StopProgress() {
    if (!progressTimer_.isActive()) return;
    progressTimer_.stop();
    ShowProgress();
    console_.EndLive();
}

void CliRunner::Report() {
    for (const auto& session : sessions_) {
        const SessionResult& r = session->result();
        const AdapterRef& a = session->adapter();
        if (options_.json) {
            QJsonObject o{{"command", options_.command},
                          {"adapter", QString::fromStdString(a.path)},
                          {"serial", a.serial},
                          {"chip", r.chip},
                          {"result", OutcomeText(r.outcome)},
                          {"duration", double(r.ms) / 1000.0}};
            if (image_) image_->Describe(o);
            if (r.readCrc) o["readCrc32"] = Crc32Text(*r.readCrc), o["output"] = a.output;
            if (r.outcome != SessionResult::Outcome::Ok)
                o["reason"] = r.reason, o["step"] = r.step, o["detail"] = r.detail;
            if (r.mismatchCount > 0) {
                QJsonArray first;
                for (const Mismatch& m : r.mismatches)
                    first.append(QJsonObject{{"address", QString::asprintf("%06X", m.address)},
                                             {"expected", m.expected},
                                             {"actual", m.actual}});
                o["mismatches"] = qint64(r.mismatchCount);
                o["firstMismatches"] = first;
            }
            console_.Out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
            continue;
        }
        if (r.readCrc) console_.Out(a.label + ": read " + a.output + ", CRC-32 " + Crc32Text(*r.readCrc));
        if (r.mismatchCount > 0) {
            console_.Out(QString("%1: %2 bytes differ:").arg(a.label).arg(r.mismatchCount));
            for (const Mismatch& m : r.mismatches)
                console_.Out(QString::asprintf("  %06X  expected %02X  read %02X", m.address, m.expected, m.actual));
        }
    }
    if (options_.quiet) ReportFailures();
    if (options_.json || options_.quiet) return;
    console_.Out(QString("%1  %2  %3  %4").arg("adapter", -24).arg("chip", -16).arg("result", -10).arg("time"));
    for (const auto& session : sessions_) {
        const SessionResult& r = session->result();
        QString result = OutcomeText(r.outcome);
        if (r.outcome == SessionResult::Outcome::Failed) result += " (" + FailureText(r) + ")";
        if (r.outcome == SessionResult::Outcome::Cancelled && !r.step.isEmpty()) result += " (in " + r.step + ")";
        console_.Out(QString("%1  %2  %3  %4")
                         .arg(session->adapter().label, -24)
                         .arg(r.chip.isEmpty() ? "-" : r.chip, -16)
                         .arg(result, -10)
                         .arg(JobMeter::Seconds(r.ms)));
    }
}

// --quiet keeps a failure to one line on standard error.
void CliRunner::ReportFailures() {
    for (const auto& session : sessions_) {
        const SessionResult& r = session->result();
        if (r.outcome == SessionResult::Outcome::Failed)
            console_.Err("brellix-cli: " + session->adapter().label + ": failed: " + FailureText(r));
    }
}

// Ctrl+C or a terminate: the shell's 128 + the signal's number.
int CliRunner::ExitCode() const {
    if (interrupted_) return 128 + signal_;
    for (const auto& session : sessions_)
        if (session->result().outcome != SessionResult::Outcome::Ok) return EXIT_JOB_FAILED;
    return inaccessible_ > 0 ? EXIT_NO_ACCESS : EXIT_OK;
}

void CliRunner::End(int code) {
    if (ended_) return;
    ended_ = true;
    // Out of the call that decided it, so that the caller's stack unwinds first.
    QMetaObject::invokeMethod(this, [this, code] { emit Done(code); }, Qt::QueuedConnection);
}
