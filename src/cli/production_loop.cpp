#include "cli/production_loop.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <unistd.h>

#include "bus/adapter_bus.h"
#include "cli/cli_runner.h"
#include "cli/console.h"
#include "cli/enter_keys.h"
#include "image/checksum.h"
#include "link/adapter_link.h"
#include "link/hotplug_hub.h"
#include "sim/simulated_backend.h"

namespace {

// How long a simulated operator takes to pull a finished unit and plug in
// the next one.
constexpr int kSimulatedSwapMs = 20;

// A place is known by its adapter's serial, which stays when it comes back
// under another path.
QString PlaceKey(const AdapterRef& adapter) {
    return adapter.serial.isEmpty() ? QString::fromStdString(adapter.path) : adapter.serial;
}

UnitResult ResultOf(SessionResult::Outcome outcome) {
    switch (outcome) {
        case SessionResult::Outcome::Ok: return UnitResult::Pass;
        case SessionResult::Outcome::Failed: return UnitResult::Fail;
        case SessionResult::Outcome::Cancelled: break;
    }
    return UnitResult::Cancelled;
}

}  // namespace

ProductionLoop::ProductionLoop(const CliOptions& options, AdapterBus& bus, HotplugHub& hub, const BenchImage* image,
                               Console& console, const LinkTiming& timing, RecipeStation* recipe)
    : options_(options),
      bus_(bus),
      hub_(hub),
      image_(image),
      console_(console),
      timing_(timing),
      recipe_(recipe),
      tap_(hub.Tap()) {
    tap_->SetListener([this](const HotplugEvent& event) { OnDeviceChange(event); });
}

ProductionLoop::~ProductionLoop() {
    tap_->SetListener(nullptr);
    stations_.clear();
}

void ProductionLoop::Start(const std::vector<AdapterRef>& adapters) {
    if (!log_.Open(options_.unitLog, recipe_ ? recipe_->FieldNames() : QStringList())) {
        console_.Err("brellix-cli: cannot write " + options_.unitLog + ": " + log_.error());
        done_ = true;
        QString why;
        if (recipe_) recipe_->Finish(&why);
        emit Done(EXIT_USAGE);
        return;
    }
    runClock_.start();
    if (recipe_ && !options_.quiet && !options_.json) valuesLeft_ = recipe_->ValuesLeft();
    if (options_.nextOnKey && options_.keysFromInput) {
        keys_ = new EnterKeys(STDIN_FILENO, this);
        connect(keys_, &EnterKeys::Pressed, this, &ProductionLoop::OnNextKey);
        connect(keys_, &EnterKeys::Closed, this, &ProductionLoop::OnKeysClosed);
    }
    if (!options_.quiet && !options_.json)
        console_.Out(options_.nextOnKey ? "waiting for units; Enter starts the next, Ctrl+C ends the run"
                                        : "waiting for units; Ctrl+C ends the run");
    if (!options_.all && !adapters.empty()) {
        place_ = adapters.front().path;
        placeSerial_ = adapters.front().serial;
    }
    for (const AdapterRef& adapter : adapters) StartUnit(adapter);
}

void ProductionLoop::Interrupt() {
    interrupted_ = true;
    stopping_ = true;
    for (auto& [path, station] : stations_)
        if (station.session && station.session->running()) station.session->Cancel();
    FinishIfIdle();
}

QStringList ProductionLoop::ProgressLines() const {
    QStringList lines{CountersLine()};
    for (const auto& [path, station] : stations_)
        if (station.session) lines << station.session->ProgressLine();
    return lines;
}

// Without --all the bench has one place: the adapter named, or else the
// first one found; it stays the place when it comes back under another path
// with its serial, and the other adapters on the bench are left alone.
bool ProductionLoop::Wanted(const AdapterRef& adapter) const {
    if (options_.all) return true;
    return adapter.path == place_ || (!placeSerial_.isEmpty() && adapter.serial == placeSerial_);
}

// The adapter at path as the bus lists it: with its serial, named by it.
AdapterRef ProductionLoop::Describe(const std::string& path) const {
    AdapterRef adapter{path, {}, QString::fromStdString(path), {}};
    for (const HidDeviceInfo& device : bus_.backend().Enumerate()) {
        if (device.path != path) continue;
        adapter.serial = QString::fromStdString(device.serial);
        if (!adapter.serial.isEmpty()) adapter.label = adapter.serial;
    }
    return adapter;
}

// A place is taken while its unit is being programmed; a finished unit's
// place is free for the next arrival, even if its removal went unseen (a
// unit pulled out mid-job ends its session only after the removal).
int ProductionLoop::Running() const {
    int running = 0;
    for (const auto& [path, station] : stations_) running += station.session && station.session->running();
    return running;
}

bool ProductionLoop::Busy(const std::string& path) const {
    const auto it = stations_.find(path);
    return it != stations_.end() && it->second.session && it->second.session->running();
}

void ProductionLoop::OnDeviceChange(const HotplugEvent& event) {
    if (stopping_ || !AdapterLink::ConcernsAdapter(event)) return;
    if (event.kind == HotplugEvent::Kind::Removal) {
        // The unit is out: its place waits for the next one.
        if (!Busy(event.path)) stations_.erase(event.path);
        return;
    }
    if (Busy(event.path)) return;
    // The node needs a moment after its arrival before it can be opened.
    QTimer::singleShot(timing_.reopenDelayMs, this, [this, path = event.path] {
        if (stopping_ || Busy(path)) return;
        if (const AdapterRef adapter = Describe(path); Wanted(adapter)) StartUnit(adapter);
    });
}

void ProductionLoop::StartUnit(const AdapterRef& given) {
    // Enough units done or under way: a unit plugged in now waits.
    if (stopping_ || (options_.count > 0 && units_ >= options_.count)) return;
    // A recipe's run ends after so many passes: a unit more is started only
    // while those under way could still fail.
    if (recipe_ && recipe_->recipe().stop.units > 0 && passed_ + Running() >= recipe_->recipe().stop.units) return;
    const AdapterRef adapter = Describe(given.path);
    if (out_.count(PlaceKey(adapter))) return;
    places_.insert(PlaceKey(adapter));
    Station& station = stations_[adapter.path];
    station.adapter = adapter;
    if (!BeginRecord(station)) {
        stations_.erase(adapter.path);
        return FinishIfIdle();
    }
    ++units_;
    if (!recipe_) station.unit = units_;
    station.session = std::make_unique<AdapterSession>(adapter, bus_.backend(), hub_.Tap(), options_, image_,
                                                       console_, timing_);
    connect(station.session.get(), &AdapterSession::Finished, this,
            [this, path = adapter.path] { OnUnitFinished(stations_.at(path)); });
    using S = AdapterSession::Step;
    const std::vector<S> plan = options_.verify || !recipe_ ? std::vector<S>{S::Auto}
                                                            : std::vector<S>{S::CheckChip, S::Erase, S::Program};
    NoteUnitStart(station);
    station.session->Run(plan, station.record.patches);
}

// With a recipe, a unit starts only once the record holds its values: when
// they have run out or the record cannot be reached, no unit starts any more
// and the units under way finish.
bool ProductionLoop::BeginRecord(Station& station) {
    if (!recipe_) return true;
    QString why;
    switch (recipe_->BeginUnit(&station.record, &why)) {
        case RecipeStation::Begin::Started:
            station.unit = station.record.start.unitNumber;
            return true;
        case RecipeStation::Begin::Exhausted: StopStarting("serial numbers exhausted (" + why + ")"); break;
        case RecipeStation::Begin::Unreachable:
            StopStarting("the record cannot be reached, no new unit starts: " + why);
            break;
        case RecipeStation::Begin::Failed: StopStarting("cannot reserve the unit's values: " + why); break;
    }
    return false;
}

void ProductionLoop::StopStarting(const QString& line) {
    console_.Err("brellix-cli: " + line);
    unitLeft_ = true;
    stopping_ = true;
}

void ProductionLoop::CloseRecord(Station& station) {
    if (!recipe_) return;
    const SessionResult& r = station.session->result();
    UnitRecord record;
    record.place = QString::fromStdString(station.adapter.path);
    record.adapterSerial = station.adapter.serial;
    record.chip = r.chip;
    record.result = ResultOf(r.outcome);
    record.step = r.outcome == SessionResult::Outcome::Ok ? QString() : r.step;
    record.detail = r.outcome == SessionResult::Outcome::Ok ? QString() : r.detail;
    record.jobMs = r.ms;
    // What the chip gave back, as the compare saw it: the unit's own image.
    if (r.outcome == SessionResult::Outcome::Ok && options_.verify && image_)
        record.readBackCrc = Crc32Text(Crc32(station.session->engine().image().readBack(), image_->size));
    if (!recipe_->CloseUnit(station.record, record))
        StopStarting("unit " + QString::number(station.unit) + " reached neither the record nor the spool");
}

// Every unit started ends in exactly one count and one row: a unit cut short
// by Ctrl+C is half written and is recorded as such, with where it stopped.
void ProductionLoop::OnUnitFinished(Station& station) {
    const UnitResult result = ResultOf(station.session->result().outcome);
    ++(result == UnitResult::Pass ? passed_ : result == UnitResult::Fail ? failed_ : cancelled_);
    CloseRecord(station);
    LogUnit(station, result);
    PrintUnit(station, result);
    NoteUnitEnd();
    const bool takenOut = TakeOutIfFailing(station);
    NoteUnitResult(station);
    if (options_.count > 0 && passed_ + failed_ + cancelled_ >= options_.count) stopping_ = true;
    if (recipe_ && recipe_->recipe().stop.units > 0 && passed_ >= recipe_->recipe().stop.units) stopping_ = true;
    if (stopping_) return FinishIfIdle();
    // With --next key the board is swapped in the socket, and Enter starts the next unit.
    if (!takenOut && !options_.nextOnKey) SwapUnitIfSimulated(station.adapter.path);
}

// A place failing unit after unit has a fault of its own (a worn socket, a
// bad adapter): it is taken out rather than spending the line's boards. A
// cancelled unit says nothing about the place and leaves its count alone.
bool ProductionLoop::TakeOutIfFailing(const Station& station) {
    const SessionResult::Outcome outcome = station.session->result().outcome;
    const QString place = PlaceKey(station.adapter);
    if (outcome == SessionResult::Outcome::Ok) failuresInARow_[place] = 0;
    if (outcome != SessionResult::Outcome::Failed || options_.stopAfterFailures <= 0) return false;
    if (++failuresInARow_[place] < options_.stopAfterFailures) return false;
    out_.insert(place);
    console_.Err(QString("brellix-cli: %1: %2 failures in a row, the place is out of the run")
                     .arg(station.adapter.label)
                     .arg(options_.stopAfterFailures));
    if (out_.size() < places_.size()) return true;
    console_.Err("brellix-cli: no place is left, the run ends");
    stopping_ = true;
    return true;
}

void ProductionLoop::OnNextKey() {
    if (console_.terminal() && ::isatty(STDIN_FILENO) == 1) console_.Echoed();
    NextUnit();
}

// Enter: every place whose unit has ended takes its next one.
void ProductionLoop::NextUnit() {
    if (!options_.nextOnKey || stopping_) return;
    std::vector<AdapterRef> waiting;
    for (const auto& [path, station] : stations_)
        if (station.session && !station.session->running()) waiting.push_back(station.adapter);
    for (const AdapterRef& adapter : waiting) StartUnit(adapter);
}

// Without an input no Enter can come: the units under way end the run.
void ProductionLoop::OnKeysClosed() {
    if (stopping_) return;
    console_.Err("brellix-cli: standard input closed, no next unit starts");
    stopping_ = true;
    FinishIfIdle();
}

void ProductionLoop::NoteUnitEnd() {
    lastEndMs_ = runClock_.elapsed();
    if (recipe_ && !options_.quiet && !options_.json) valuesLeft_ = recipe_->ValuesLeft();
}

void ProductionLoop::NoteUnitStart(const Station& station) {
    PlaceView& view = views_[PlaceKey(station.adapter)];
    view.label = station.adapter.label;
    view.values = station.record.values;
    view.unit = station.unit;
    view.ended = false;
    view.detail.clear();
    emit PlacesChanged();
}

void ProductionLoop::NoteUnitResult(const Station& station) {
    const QString place = PlaceKey(station.adapter);
    PlaceView& view = views_[place];
    const SessionResult& r = station.session->result();
    view.ended = true;
    view.outcome = r.outcome;
    view.step = r.step;
    // The step and what happened there say it all; the job's last line is for a failure without them.
    if (r.outcome != SessionResult::Outcome::Failed) view.detail.clear();
    else view.detail = r.step.isEmpty() || r.detail.isEmpty() ? FailureText(r) : r.step + ": " + r.detail;
    view.passed += r.outcome == SessionResult::Outcome::Ok;
    view.failed += r.outcome == SessionResult::Outcome::Failed;
    view.out = out_.count(place) > 0;
    emit PlacesChanged();
}

std::vector<ProductionLoop::PlaceView> ProductionLoop::Places() const {
    std::vector<PlaceView> places;
    for (const auto& [place, view] : views_) {
        places.push_back(view);
        for (const auto& [path, station] : stations_) {
            if (PlaceKey(station.adapter) != place || !station.session || !station.session->running()) continue;
            places.back().running = true;
            places.back().fraction = station.session->fraction();
            places.back().step = station.session->stepName();
        }
    }
    return places;
}

// The rate is taken when a unit ends, so off a terminal the line changes (and
// is printed again) only then.
QString ProductionLoop::CountersLine() const {
    const int ended = passed_ + failed_;
    QString line = QString("passed %1  failed %2  yield %3  %4 units/h")
                       .arg(passed_)
                       .arg(failed_)
                       .arg(ended > 0 ? QString::asprintf("%.1f%%", 100.0 * passed_ / ended) : QString("-"))
                       .arg(ended > 0 && lastEndMs_ > 0 ? QString::number(qint64(ended * 3600000.0 / lastEndMs_))
                                                         : QString("-"));
    if (valuesLeft_ >= 0) line += QString("  values left %1").arg(valuesLeft_);
    return line;
}

void ProductionLoop::LogUnit(const Station& station, UnitResult result) {
    const SessionResult& r = station.session->result();
    const QString mismatch = r.mismatches.empty() ? QString() : QString::asprintf("%06X", r.mismatches[0].address);
    const bool logged = log_.Append(QStringList{QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                                     QString::fromStdString(station.adapter.path), station.adapter.serial, r.chip,
                                     image_ ? image_->path : QString(), image_ ? Crc32Text(image_->crc) : QString(),
                                     UnitResultName(result), QString::asprintf("%.1f", double(r.ms) / 1000), mismatch,
                                     QString::number(station.unit), r.step, r.detail} +
                                    station.record.values);
    if (!logged) console_.Err("brellix-cli: cannot write " + options_.unitLog + ": " + log_.error());
}

// A line per unit as it ends: JSON, the bench's running tally, or with
// --quiet a failure alone.
void ProductionLoop::PrintUnit(const Station& station, UnitResult result) {
    const SessionResult& r = station.session->result();
    const bool passed = r.outcome == SessionResult::Outcome::Ok;
    if (options_.quiet && r.outcome == SessionResult::Outcome::Failed) {
        console_.Err(QString("brellix-cli: %1: unit %2 failed: %3")
                         .arg(station.adapter.label, QString::number(station.unit), FailureText(r)));
    }
    if (options_.json) {
        QJsonObject o{{"unit", station.unit},
                      {"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                      {"adapter", QString::fromStdString(station.adapter.path)},
                      {"serial", station.adapter.serial},
                      {"chip", r.chip},
                      {"result", UnitResultName(result)},
                      {"duration", double(r.ms) / 1000.0}};
        if (image_) image_->Describe(o);
        if (recipe_) o["fields"] = QJsonDocument::fromJson(station.record.fieldsJson.toUtf8()).object();
        if (!passed) o["reason"] = r.reason, o["step"] = r.step, o["detail"] = r.detail;
        if (!r.mismatches.empty()) o["firstMismatch"] = QString::asprintf("%06X", r.mismatches[0].address);
        console_.Out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
        return;
    }
    if (options_.quiet) return;
    QString why;
    if (r.outcome == SessionResult::Outcome::Failed) why = " (" + FailureText(r) + ")";
    if (r.outcome == SessionResult::Outcome::Cancelled) why = " (in " + r.step + ")";
    console_.Out(QString("unit %1  %2: %3 in %4 s%5   passed %6, failed %7")
                     .arg(QString::number(station.unit), station.adapter.label, UnitResultName(result),
                          QString::asprintf("%.1f", double(r.ms) / 1000), why)
                     .arg(passed_)
                     .arg(failed_));
}

// A simulated bench has nobody to swap the units: it pulls the finished one
// and plugs in the next itself.
void ProductionLoop::SwapUnitIfSimulated(const std::string& path) {
    SimulatedBackend* bench = bus_.simulatedBus();
    if (!bench) return;
    for (int i = 0; i < bench->adapterCount(); ++i) {
        if (SimulatedBackend::AdapterPath(i) != path) continue;
        QTimer::singleShot(kSimulatedSwapMs, bench, [bench, i] {
            bench->UnplugAdapter(i);
            QTimer::singleShot(kSimulatedSwapMs, bench, [bench, i] { bench->PlugAdapter(i); });
        });
    }
}

void ProductionLoop::FinishIfIdle() {
    if (done_ || Running() > 0) return;
    done_ = true;
    QString why;
    if (recipe_ && !recipe_->Finish(&why)) console_.Err("brellix-cli: the run's end is not recorded: " + why);
    emit Finishing();
    const int units = passed_ + failed_ + cancelled_;
    if (options_.json) {
        QJsonObject o{{"command", "production"}, {"units", units},         {"passed", passed_},
                      {"failed", failed_},       {"cancelled", cancelled_}};
        if (image_) image_->Describe(o);
        console_.Out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    } else if (!options_.quiet) {
        console_.Out(QString("%1 units: %2 passed, %3 failed, %4 cancelled")
                         .arg(units)
                         .arg(passed_)
                         .arg(failed_)
                         .arg(cancelled_));
    }
    emit Done(interrupted_ ? EXIT_INTERRUPTED : failed_ > 0 || unitLeft_ ? EXIT_JOB_FAILED : EXIT_OK);
}
