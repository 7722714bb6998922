#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "cli/adapter_session.h"
#include "cli/recipe_station.h"
#include "cli/unit_log.h"

class AdapterBus;
class EnterKeys;
class HotplugHub;

// The bench loop: each adapter plugged in has its unit auto programmed with
// the read-back compare, the unit is logged, and the loop waits for it to be
// pulled out and the next one plugged in (or, with --next key, for Enter);
// until enough units are done, every place has been taken out for failing
// too often, or the operator presses Ctrl+C. Run from a recipe, each unit carries its own
// serial values, reserved in the record before its first request and closed
// there after its last.
class ProductionLoop : public QObject {
    Q_OBJECT
public:
    // recipe: the recipe's run, or nullptr for a plain image.
    ProductionLoop(const CliOptions& options, AdapterBus& bus, HotplugHub& hub, const BenchImage* image,
                   Console& console, const LinkTiming& timing, RecipeStation* recipe = nullptr);
    ~ProductionLoop() override;

    // adapters: those on the bench now, to start with.
    void Start(const std::vector<AdapterRef>& adapters);
    void Interrupt();
    // With --next key, the operator's Enter: every place whose unit has
    // ended takes its next one. Standard input's presses come here, and a
    // window's own.
    void NextUnit();
    // The run's counters, then a live line per place, as the other commands
    // show per adapter.
    QStringList ProgressLines() const;

    // What a place shows: its last unit, or the one under way, and its counts.
    struct PlaceView {
        QString label;
        QStringList values;  // the unit's serial values
        int unit = 0;
        bool running = false;
        double fraction = 0;  // of the running unit's step, 0..1
        QString step;         // the step running, or where the last unit stopped
        bool ended = false;   // a unit has ended here, and outcome says how
        SessionResult::Outcome outcome = SessionResult::Outcome::Ok;
        QString detail;  // why the last unit failed
        int passed = 0;
        int failed = 0;
        bool out = false;  // taken out of the run for failing too often
    };
    // Every place that has taken a unit, in the order of their adapters' serials.
    std::vector<PlaceView> Places() const;
    struct Totals {
        int units = 0;
        int passed = 0;
        int failed = 0;
        int cancelled = 0;
    };
    Totals totals() const { return {units_, passed_, failed_, cancelled_}; }
    bool done() const { return done_; }

signals:
    // A unit has started or ended on some place.
    void PlacesChanged();
    // The last unit has ended; the totals follow, then Done.
    void Finishing();
    void Done(int exitCode);

private:
    struct Station {
        AdapterRef adapter;
        std::unique_ptr<AdapterSession> session;
        int unit = 0;  // its number in this run
        RecipeUnit record;  // with a recipe: its values and reservation
    };

    void OnDeviceChange(const HotplugEvent& event);
    void StartUnit(const AdapterRef& adapter);
    void OnUnitFinished(Station& station);
    bool BeginRecord(Station& station);
    void CloseRecord(Station& station);
    void StopStarting(const QString& line);
    void LogUnit(const Station& station, UnitResult result);
    void PrintUnit(const Station& station, UnitResult result);
    void SwapUnitIfSimulated(const std::string& path);
    bool TakeOutIfFailing(const Station& station);
    void OnNextKey();
    void OnKeysClosed();
    void NoteUnitEnd();
    void NoteUnitStart(const Station& station);
    void NoteUnitResult(const Station& station);
    QString CountersLine() const;
    bool Wanted(const AdapterRef& adapter) const;
    AdapterRef Describe(const std::string& path) const;
    bool Busy(const std::string& path) const;
    int Running() const;
    void FinishIfIdle();

    const CliOptions& options_;
    AdapterBus& bus_;
    HotplugHub& hub_;
    const BenchImage* image_;
    Console& console_;
    LinkTiming timing_;
    RecipeStation* recipe_;
    std::unique_ptr<HotplugSource> tap_;
    std::map<std::string, Station> stations_;
    EnterKeys* keys_ = nullptr;  // with --next key
    // Places by serial (or path, without one): those that took a unit, and
    // those out of the run; a place keeps its failures in a row over re-plugs.
    std::set<QString> places_;
    std::map<QString, PlaceView> views_;  // by place, what Places() shows
    std::set<QString> out_;
    std::map<QString, int> failuresInARow_;
    QElapsedTimer runClock_;
    qint64 lastEndMs_ = 0;        // when the last unit ended, on runClock_
    std::int64_t valuesLeft_ = -1;
    UnitLog log_;
    std::string place_;     // without --all: the one adapter used
    QString placeSerial_;   // the same adapter under another path after a replug
    int units_ = 0;         // units started, numbered from 1
    int passed_ = 0;
    int failed_ = 0;
    int cancelled_ = 0;
    bool stopping_ = false;
    bool unitLeft_ = false;  // a unit arrived and was not programmed, or its row was lost
    bool interrupted_ = false;
    bool done_ = false;
};
