// Four stations share one PostgreSQL record and draw serial values from one
// counter as fast as the record lets them: each unit is reserved (its number
// and a value) and closed as a pass (its row written, its value spent), with
// no programming in between, as if its adapter answered at once. The figure
// is units per second over all four; the server is the benchmark's own, on a
// Unix socket, started as the tests start theirs.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bench_main.h"
#include "production/record_store.h"
#include "support/scratch_postgres.h"

namespace {

constexpr int kStations = 4;
const QString kCounter = "line/serial";

ScratchPostgres* server = nullptr;
QString serverError;

int UnitsPerStation() {
    return qEnvironmentVariableIsSet("BRELLIX_BENCH_SMOKE") ? 20 : 500;
}

// One station's run: opened one station at a time (as the stations of a floor
// come up one by one), then timed from when all four are ready.
class Station {
  public:
    bool Open(int number, QString* error) {
        store_ = RecordStore::Open(server->Url("floor"), {}, error);
        RunInfo run{QString("station%1").arg(number), "bench", "line", "1", "89ABCDEF", "bench"};
        return store_ && store_->StartRun(run, error) &&
               store_->DefineCounter(kCounter, 100000000, error);
    }

    // False when a unit could not be reserved or closed.
    bool Run(int units) {
        for (int i = 0; i < units; ++i) {
            UnitStart unit;
            QString error;
            if (store_->ReserveUnit({kCounter}, &unit, &error) !=
                RecordStore::ReserveStatus::Reserved)
                return false;
            UnitRecord record;
            record.unitNumber = unit.unitNumber;
            record.place = "SIM0001";
            record.chip = "MX25L3208";
            record.fields =
                QJsonDocument(QJsonObject{{"serial", QString::number(unit.values().value(0))}})
                    .toJson(QJsonDocument::Compact);
            record.result = UnitResult::Pass;
            record.utc = QDateTime::currentDateTimeUtc();
            if (store_->CloseUnit(record, unit.reservations) != RecordStore::CloseStatus::Stored)
                return false;
        }
        return true;
    }

    void Finish() {
        QString error;
        if (store_) store_->FinishRun(&error);
        store_.reset();
    }

  private:
    std::unique_ptr<RecordStore> store_;
};

void BM_FourStationsReserveAndClose(benchmark::State& state) {
    if (!server) {
        state.SkipWithError(("no PostgreSQL: " + serverError).toStdString().c_str());
        return;
    }
    const int units = UnitsPerStation();
    double seconds = 0;
    for (auto _ : state) {
        std::mutex opening;
        std::latch ready(kStations + 1), done(kStations + 1);
        std::atomic<int> failures = 0;
        std::vector<std::thread> stations;
        for (int s = 0; s < kStations; ++s) {
            stations.emplace_back([&, s] {
                Station station;
                bool open;
                {
                    const std::lock_guard lock(opening);
                    QString error;
                    open = station.Open(s + 1, &error);
                }
                ready.arrive_and_wait();
                failures += !(open && station.Run(units));
                done.count_down();
                station.Finish();
            });
        }
        ready.arrive_and_wait();
        const auto start = std::chrono::steady_clock::now();
        done.arrive_and_wait();
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        for (std::thread& station : stations) station.join();
        if (failures > 0) state.SkipWithError("a station could not reserve or close a unit");
    }
    // Worked out here: a rate counter would divide by the process's CPU time.
    if (seconds > 0)
        state.counters["units_per_s"] = double(state.iterations()) * kStations * units / seconds;
}
BENCHMARK(BM_FourStationsReserveAndClose)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ScratchPostgres postgres;
    if (postgres.Start(&serverError) && postgres.CreateDatabase("floor", &serverError))
        server = &postgres;
    return RunBenchmarks(argc, argv);
}
