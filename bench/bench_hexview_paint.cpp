// Cost of one frame of the hex view: every frame is composed off screen
// from the rows on screen only, so it must not grow with the data. Also the
// cost of handing the view a full 4 MiB image.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <cstdint>
#include <vector>

#include "hexview/hex_view.h"

namespace {

constexpr int kFullImage = 4 * 1024 * 1024;

std::vector<std::uint8_t> Pattern(int count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) bytes[std::size_t(i)] = std::uint8_t(i * 7 + (i >> 8));
    return bytes;
}

// A shown view at the panel's size, scrolled to a place in the data.
struct ShownView {
    HexView view;
    ShownView(int bytes, int place) {
        const std::vector<std::uint8_t> data = Pattern(bytes);
        view.resize(608, 246);
        view.show();
        view.SetData(data.data(), data.size());
        QScrollBar* bar = view.scrollBar();
        const int line = place == 0 ? 0 : place == 1 ? bar->maximum() / 2 : bar->maximum();
        bar->setSliderPosition(line);
        QApplication::processEvents();
    }
    void Select() {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::ShiftModifier);
        QApplication::sendEvent(&view, &key);
    }
};

const char* PlaceName(int place) {
    return place == 0 ? "top" : place == 1 ? "middle" : "end";
}

void PaintFrame(benchmark::State& state, bool selected) {
    ShownView shown(int(state.range(0)), int(state.range(1)));
    if (selected) shown.Select();
    for (auto _ : state) {
        shown.view.Redraw();
        shown.view.repaint();
    }
    state.SetLabel(PlaceName(int(state.range(1))));
}

void BM_PaintFrame(benchmark::State& state) {
    PaintFrame(state, false);
}
void BM_PaintFrameWithSelection(benchmark::State& state) {
    PaintFrame(state, true);
}

void PlacesAndSizes(benchmark::internal::Benchmark* b) {
    for (int bytes : {64 * 1024, kFullImage})
        for (int place : {0, 1, 2}) b->Args({bytes, place});
}

BENCHMARK(BM_PaintFrame)->Apply(PlacesAndSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintFrameWithSelection)->Apply(PlacesAndSizes)->Unit(benchmark::kMicrosecond);

void BM_SetData(benchmark::State& state) {
    const std::vector<std::uint8_t> data = Pattern(int(state.range(0)));
    HexView view;
    view.resize(608, 246);
    for (auto _ : state) view.SetData(data.data(), data.size());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SetData)->Arg(kFullImage)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
