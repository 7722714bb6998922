#pragma once

#include <QObject>
#include <map>
#include <memory>
#include <string>

#include "cli/adapter_session.h"
#include "cli/unit_log.h"

class AdapterBus;
class HotplugHub;

// The bench loop: each adapter plugged in has its unit auto programmed with
// the read-back compare, the unit is logged, and the loop waits for it to be
// pulled out and the next one plugged in; until enough units are done or the
// operator presses Ctrl+C.
class ProductionLoop : public QObject {
    Q_OBJECT
public:
    ProductionLoop(const CliOptions& options, AdapterBus& bus, HotplugHub& hub, const LoadedImage* image,
                   Console& console, const LinkTiming& timing);
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
    };

    void OnDeviceChange(const HotplugEvent& event);
    void StartUnit(const AdapterRef& adapter);
    void OnUnitFinished(Station& station);
    void LogUnit(const Station& station, const char* result);
    void PrintUnit(const Station& station, const char* result);
    void SwapUnitIfSimulated(const std::string& path);
    bool Wanted(const AdapterRef& adapter) const;
    AdapterRef Describe(const std::string& path) const;
    bool Busy(const std::string& path) const;
    void FinishIfIdle();

    const CliOptions& options_;
    AdapterBus& bus_;
    HotplugHub& hub_;
    const LoadedImage* image_;
    Console& console_;
    LinkTiming timing_;
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
    bool interrupted_ = false;
    bool done_ = false;
};
