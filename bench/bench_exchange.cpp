// Host overhead of one request/reply exchange: the transport writes a report
// to the simulated bus, whose device answers at once; the reader picks the
// reply up and posts it; the event loop delivers it. What is left is the cost
// the host adds to every block of a job.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "link/adapter_link.h"
#include "link/window_messages.h"
#include "sim/simulated_backend.h"
#include "support/function_device.h"

namespace {

// Ends the running event loop at each reply, as the job engine's handler
// would hand over to the next request.
class ReplyCounter : public QObject {
public:
    QEventLoop* loop = nullptr;

protected:
    bool event(QEvent* e) override {
        if (e->type() != WM_ADAPTER_REPLY) return QObject::event(e);
        loop->quit();
        return true;
    }
};

void BM_RequestReplyExchange(benchmark::State& state) {
    FunctionDevice device;
    SimulatedBackend bus{&device};
    bus.PlugAdapter();
    QCoreApplication::processEvents();
    ReplyCounter target;
    AdapterLink link{bus, nullptr, &target};
    link.Initialise();
    Payload request{};
    request[0] = 1;
    QEventLoop loop;
    target.loop = &loop;
    for (auto _ : state) {
        link.SendAdapterReport(request.data(), request.size(), 1);
        loop.exec();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestReplyExchange)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
