#pragma once

#include <QObject>
#include <map>
#include <memory>
#include <string>

#include "cli/adapter_session.h"
#include "cli/recipe_station.h"
#include "cli/unit_log.h"

class AdapterBus;
class HotplugHub;

// The bench loop: each adapter plugged in has its unit auto programmed with
// the read-back compare, the unit is logged, and the loop waits for it to be
// pulled out and the next one plugged in; until enough units are done or the
// operator presses Ctrl+C. Run from a recipe, each unit carries its own
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
    // A live line per place, as the other commands show per adapter.
    QStringList ProgressLines() const;

signals:
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
    void LogUnit(const Station& station, const char* result);
    void PrintUnit(const Station& station, const char* result);
    void SwapUnitIfSimulated(const std::string& path);
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
