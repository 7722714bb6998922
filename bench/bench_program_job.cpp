// A whole program job of a 4 MiB image with no blank block: 16 384 write
// requests through the job engine, the transport and a simulated adapter that
// answers at once. What it measures is the host's own time per block.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <QCoreApplication>

#include "engine/job_engine.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"
#include "engine/user_prompts.h"

namespace {

// A panel that shows nothing: the widgets' own cost is not the engine's.
class QuietHost : public JobHost {
public:
    void AppendLog(const QString&) override {}
    void ShowTransientLine(const QString&) override {}
    void ClearLog() override {}
    void SetProgress(int, int) override {}
    void EnableJobButtons() override {}
    void DisableJobButtons() override {}
    int SelectedChip() const override { return 1; }
    void SelectChip(int) override {}
    bool AutoChipChecked() const override { return true; }
    void SetAutoChip(bool) override {}
    void ShowData(const std::uint8_t*, std::size_t) override {}
    void EnableHexView(bool) override {}
};

// Nothing is ever asked during a program job.
class NoPrompts : public UserPrompts {
public:
    void ShowMessage(const QString&) override {}
    bool AskWarning(const QString&, const QString&, Buttons) override { return false; }
    std::optional<FileAnswer> AskOpenFile(const FileQuestion&) override { return std::nullopt; }
    std::optional<FileAnswer> AskSaveFile(const FileQuestion&) override { return std::nullopt; }
    std::optional<ReadOptions> AskReadOptions() override { return std::nullopt; }
    std::optional<QString> AskAddress(const QString&) override { return std::nullopt; }
};

void BM_ProgramFourMegabytes(benchmark::State& state) {
    SimConfig config;
    config.chips = {1};
    AdapterSimulator adapter(config);
    SimulatedBackend bus(&adapter);
    bus.PlugAdapter();
    QCoreApplication::processEvents();
    QuietHost host;
    NoPrompts prompts;
    JobEngine engine(bus, &bus, host, prompts);
    engine.Initialise();

    std::uint8_t* staging = engine.image().ResetStaging();
    for (std::uint32_t i = 0; i < ImageBuffer::kSize; ++i) staging[i] = std::uint8_t(i * 31 + 7);
    engine.image().CommitLoad(ImageBuffer::kSize);
    engine.state().fileLoaded = true;

    for (auto _ : state) {
        adapter.ClearTranscript();
        engine.Program();
        while (engine.state().busy) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    state.counters["us_per_block"] = benchmark::Counter(
        double(state.iterations()) * 16384, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ProgramFourMegabytes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
