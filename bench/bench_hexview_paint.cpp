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

// The ReadBuffer view with 100 000 differing bytes marked: spread over the
// whole image, or packed so that every byte on screen is marked.
void BM_PaintFrameWithMarks(benchmark::State& state) {
    ShownView shown(kFullImage, int(state.range(1)));
    std::vector<std::uint32_t> marks(100000);
    const std::uint32_t step = state.range(0) == 0 ? kFullImage / 100000 : 1;
    std::uint32_t first = state.range(0) == 0 ? 0 : std::uint32_t(shown.view.editor().caret().topOffset());
    for (std::uint32_t& m : marks) m = first, first += step;
    shown.view.SetMarks(&marks);
    for (auto _ : state) {
        shown.view.Redraw();
        shown.view.repaint();
    }
    state.SetLabel(std::string(state.range(0) == 0 ? "spread, " : "every byte on screen, ") +
                   PlaceName(int(state.range(1))));
}
BENCHMARK(BM_PaintFrameWithMarks)
    ->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

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
