#include "cli/production_loop.h"

#include <QDateTime>
#include <QTimer>

#include "bus/adapter_bus.h"
#include "cli/cli_runner.h"
#include "cli/console.h"
#include "image/checksum.h"
#include "link/adapter_link.h"
#include "link/hotplug_hub.h"
#include "sim/simulated_backend.h"

namespace {

// How long a simulated operator takes to pull a finished unit and plug in
// the next one.
constexpr int kSimulatedSwapMs = 20;

}  // namespace

ProductionLoop::ProductionLoop(const CliOptions& options, AdapterBus& bus, HotplugHub& hub, const LoadedImage* image,
                               Console& console, const LinkTiming& timing)
    : options_(options), bus_(bus), hub_(hub), image_(image), console_(console), timing_(timing), tap_(hub.Tap()) {
    tap_->SetListener([this](const HotplugEvent& event) { OnDeviceChange(event); });
}

ProductionLoop::~ProductionLoop() {
    tap_->SetListener(nullptr);
    stations_.clear();
}

void ProductionLoop::Start(const std::vector<AdapterRef>& adapters) {
    if (!log_.Open(options_.unitLog)) {
        console_.Err("brellix-cli: cannot write " + options_.unitLog + ": " + log_.error());
        done_ = true;
        emit Done(EXIT_USAGE);
        return;
    }
    if (!options_.quiet && !options_.json) console_.Out("waiting for units; Ctrl+C ends the run");
    for (const AdapterRef& adapter : adapters) StartUnit(adapter);
}

void ProductionLoop::Interrupt() {
    interrupted_ = true;
    stopping_ = true;
    for (auto& [path, station] : stations_)
        if (station.session && station.session->running()) station.session->Cancel();
    FinishIfIdle();
}

// Without --all the bench has one place: the first adapter, or the one named
// (by path or serial).
bool ProductionLoop::Wanted(const AdapterRef& adapter) const {
    if (!options_.adapter.isEmpty())
        return QString::fromStdString(adapter.path) == options_.adapter || adapter.serial == options_.adapter;
    return options_.all || stations_.empty() || stations_.count(adapter.path) > 0;
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
    int underWay = 0;
    for (const auto& [path, station] : stations_) underWay += station.session && station.session->running();
    if (options_.count > 0 && passed_ + failed_ + underWay >= options_.count) return;
    const AdapterRef adapter = Describe(given.path);
    Station& station = stations_[adapter.path];
    station.adapter = adapter;
    station.session = std::make_unique<AdapterSession>(adapter, bus_.backend(), hub_.Tap(), options_, image_,
                                                       console_, timing_);
    connect(station.session.get(), &AdapterSession::Finished, this,
            [this, path = adapter.path] { OnUnitFinished(stations_.at(path)); });
    station.session->Run({AdapterSession::Step::Auto});
}

void ProductionLoop::OnUnitFinished(Station& station) {
    const SessionResult& r = station.session->result();
    const bool passed = r.outcome == SessionResult::Outcome::Ok;
    if (r.outcome != SessionResult::Outcome::Cancelled) {
        passed ? ++passed_ : ++failed_;
        const QString mismatch = r.mismatches.empty() ? QString() : QString::asprintf("%06X", r.mismatches[0].address);
        const bool logged = log_.Append({QDateTime::currentDateTime().toString(Qt::ISODate),
                                         QString::fromStdString(station.adapter.path), station.adapter.serial, r.chip,
                                         image_ ? image_->path : QString(),
                                         image_ ? Crc32Text(image_->crc) : QString(),
                                         passed ? "pass" : "fail", QString::asprintf("%.1f", double(r.ms) / 1000),
                                         mismatch});
        if (!logged) console_.Err("brellix-cli: cannot write " + options_.unitLog + ": " + log_.error());
        if (!options_.quiet && !options_.json) {
            console_.Out(QString("%1: %2 in %3 s%4   passed %5, failed %6")
                             .arg(station.adapter.label, passed ? "pass" : "FAIL",
                                  QString::asprintf("%.1f", double(r.ms) / 1000),
                                  passed ? QString() : " (" + r.reason + ")")
                             .arg(passed_)
                             .arg(failed_));
        }
    }
    if (options_.count > 0 && passed_ + failed_ >= options_.count) stopping_ = true;
    if (stopping_) return FinishIfIdle();
    SwapUnitIfSimulated(station.adapter.path);
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
    if (done_) return;
    for (auto& [path, station] : stations_)
        if (station.session && station.session->running()) return;
    done_ = true;
    if (!options_.quiet && !options_.json)
        console_.Out(QString("%1 units: %2 passed, %3 failed").arg(passed_ + failed_).arg(passed_).arg(failed_));
    emit Done(interrupted_ ? EXIT_INTERRUPTED : failed_ > 0 ? EXIT_JOB_FAILED : EXIT_OK);
}
