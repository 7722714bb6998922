// Copy and paste of large selections through the real clipboard: each must
// stay a few passes over the bytes, so the whole 4 MiB image costs about
// four times what 1 MiB does.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <QApplication>
#include <QKeyEvent>
#include <cstdint>
#include <vector>

#include "hexview/hex_view.h"

namespace {

struct LoadedView {
    HexView view;
    explicit LoadedView(int bytes) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(bytes));
        for (int i = 0; i < bytes; ++i) data[std::size_t(i)] = std::uint8_t(i * 13);
        view.resize(608, 246);
        view.SetData(data.data(), data.size());
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&view, &event);
    }
};

void BM_CopyWholeData(benchmark::State& state) {
    LoadedView loaded(int(state.range(0)));
    loaded.view.SelectAll();
    for (auto _ : state) loaded.Press(Qt::Key_C, Qt::ControlModifier);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CopyWholeData)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// Pasting over a selection of everything leaves the length as it was, so
// every round does the same work.
void BM_PasteOverWholeData(benchmark::State& state) {
    LoadedView loaded(int(state.range(0)));
    loaded.view.SelectAll();
    loaded.Press(Qt::Key_C, Qt::ControlModifier);
    for (auto _ : state) {
        loaded.view.SelectAll();
        loaded.Press(Qt::Key_V, Qt::ControlModifier);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PasteOverWholeData)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
