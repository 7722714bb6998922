#include "sim/simulated_backend.h"

#include <QTimer>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>

using Clock = std::chrono::steady_clock;

namespace {

struct PendingReply {
    Clock::time_point due;
    std::int64_t dueVirtualMs;  // the same moment on the bus's virtual clock
    Payload payload;
    int leaveAfterMs;
    int returnAfterMs;
};

}  // namespace

// One device as it sits on the bus. Taking it off marks it gone; handles
// opened on it fail from then on, as a real handle to a pulled device does.
struct SimulatedNode {
    HidDeviceInfo info;
    SimulatedDevice* device = nullptr;  // the adapter's firmware; none for other devices
    int adapter = -1;                   // its index on the bench
    std::mutex mutex;
    std::condition_variable replyReady;
    std::deque<PendingReply> replies;
    bool gone = false;
    int openHandles = 0;
    SimulatedBackend* backend = nullptr;  // cleared when the backend goes away
};

class SimulatedHandle : public HidHandle {
public:
    explicit SimulatedHandle(std::shared_ptr<SimulatedNode> node) : node_(std::move(node)) {}
    ~SimulatedHandle() override {
        std::lock_guard lock(node_->mutex);
        --node_->openHandles;
    }

    int Write(const std::uint8_t* report, std::size_t length, int* errorCode) override {
        SimulatedBackend* backend;
        {
            std::lock_guard lock(node_->mutex);
            if (node_->gone || !node_->backend) {
                *errorCode = ENODEV;
                return -1;
            }
            backend = node_->backend;
        }
        if (!node_->device) return int(length);
        if (backend->keepReports_) {
            std::lock_guard lock(backend->mutex_);
            AdapterReport copy{};
            std::memcpy(copy.data(), report, std::min(length, copy.size()));
            backend->written_.push_back(copy);
        }
        const DeviceAnswer answer = node_->device->OnReport(report, length);
        if (answer.written < 0) {
            *errorCode = answer.errorCode;
            return -1;
        }
        std::lock_guard lock(node_->mutex);
        if (answer.earlierReply)
            node_->replies.push_back({Clock::now(), backend->virtualNowMs_, *answer.earlierReply, -1, -1});
        const PendingReply reply{Clock::now() + std::chrono::milliseconds(answer.latencyMs),
                                 backend->virtualNowMs_ + answer.latencyMs, answer.payload, answer.leaveAfterMs,
                                 answer.returnAfterMs};
        if (answer.reply) {
            node_->replies.push_back(reply);
            if (answer.repeatReply) node_->replies.push_back({reply.due, reply.dueVirtualMs, reply.payload, -1, -1});
        } else if (answer.leaveAfterMs >= 0) {
            backend->ScheduleLeave(node_->adapter, answer.leaveAfterMs, answer.returnAfterMs);
        }
        node_->replyReady.notify_all();
        return answer.written;
    }

    int Read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override {
        std::unique_lock lock(node_->mutex);
        if (node_->gone || !node_->backend) return -1;
        if (node_->backend->virtualTime_) return ReadOnVirtualClock(buffer, capacity, timeoutMs);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (node_->gone) return -1;
            const auto now = Clock::now();
            if (!node_->replies.empty() && node_->replies.front().due <= now) break;
            if (now >= deadline) return 0;
            auto until = deadline;
            if (!node_->replies.empty()) until = std::min(until, node_->replies.front().due);
            node_->replyReady.wait_until(lock, until);
        }
        return TakeReply(buffer, capacity);
    }

private:
    // Called with the node's lock held.
    int ReadOnVirtualClock(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) {
        std::atomic<std::int64_t>& now = node_->backend->virtualNowMs_;
        if (!node_->replies.empty() && node_->replies.front().dueVirtualMs <= now + timeoutMs) {
            now = std::max<std::int64_t>(now, node_->replies.front().dueVirtualMs);
            return TakeReply(buffer, capacity);
        }
        now += timeoutMs;
        return 0;
    }

    // Called with the node's lock held.
    int TakeReply(std::uint8_t* buffer, std::size_t capacity) {
        const PendingReply reply = node_->replies.front();
        node_->replies.pop_front();
        const std::size_t n = std::min(capacity, reply.payload.size());
        std::memcpy(buffer, reply.payload.data(), n);
        if (reply.leaveAfterMs >= 0 && node_->backend)
            node_->backend->ScheduleLeave(node_->adapter, reply.leaveAfterMs, reply.returnAfterMs);
        return int(n);
    }

    std::shared_ptr<SimulatedNode> node_;
};

SimulatedBackend::SimulatedBackend(SimulatedDevice* device, QObject* parent)
    : QObject(parent), adapters_{device} {}

SimulatedBackend::~SimulatedBackend() {
    std::lock_guard lock(mutex_);
    for (auto& node : nodes_) {
        std::lock_guard nodeLock(node->mutex);
        node->backend = nullptr;
        node->gone = true;
        node->replyReady.notify_all();
    }
}

std::vector<HidDeviceInfo> SimulatedBackend::Enumerate() {
    std::lock_guard lock(mutex_);
    std::vector<HidDeviceInfo> list;
    for (const auto& node : nodes_) list.push_back(node->info);
    return list;
}

std::unique_ptr<HidHandle> SimulatedBackend::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (const auto& node : nodes_) {
        if (node->info.path != path) continue;
        std::lock_guard nodeLock(node->mutex);
        if (refuseSecondOpen_ && node->openHandles > 0) return nullptr;
        ++node->openHandles;
        return std::make_unique<SimulatedHandle>(node);
    }
    return nullptr;
}

void SimulatedBackend::SetListener(Listener listener) { listener_ = std::move(listener); }

int SimulatedBackend::AddAdapter(SimulatedDevice* device) {
    std::lock_guard lock(mutex_);
    adapters_.push_back(device);
    return int(adapters_.size()) - 1;
}

int SimulatedBackend::adapterCount() const {
    std::lock_guard lock(mutex_);
    return int(adapters_.size());
}

// Numbered from 1 like the serials, so that /dev/hidraw-sim2 is SIM0002.
std::string SimulatedBackend::AdapterPath(int index) { return "/dev/hidraw-sim" + std::to_string(index + 1); }

std::string SimulatedBackend::AdapterSerial(int index) {
    return QString::asprintf("SIM%04d", index + 1).toStdString();
}

void SimulatedBackend::PlugAdapter(int index) {
    PlugDevice({AdapterPath(index), kAdapterVendorId, kAdapterProductId, AdapterSerial(index)});
}

void SimulatedBackend::UnplugAdapter(int index) { UnplugDevice(AdapterPath(index)); }

bool SimulatedBackend::adapterPresent(int index) const {
    const std::string path = AdapterPath(index);
    std::lock_guard lock(mutex_);
    for (const auto& node : nodes_)
        if (node->info.path == path) return true;
    return false;
}

int SimulatedBackend::AdapterIndexOf(const std::string& path) const {
    for (int i = 0; i < int(adapters_.size()); ++i)
        if (AdapterPath(i) == path) return i;
    return -1;
}

void SimulatedBackend::PlugDevice(const HidDeviceInfo& info) {
    auto node = std::make_shared<SimulatedNode>();
    node->info = info;
    node->backend = this;
    {
        std::lock_guard lock(mutex_);
        node->adapter = AdapterIndexOf(info.path);
        if (node->adapter >= 0) node->device = adapters_[std::size_t(node->adapter)];
        nodes_.push_back(node);
    }
    if (node->device) node->device->OnPlugged(true);
    Announce(HotplugEvent::Kind::Arrival, info);
}

void SimulatedBackend::UnplugDevice(const std::string& path) {
    std::shared_ptr<SimulatedNode> removed;
    {
        std::lock_guard lock(mutex_);
        for (auto it = nodes_.begin(); it != nodes_.end(); ++it) {
            if ((*it)->info.path != path) continue;
            removed = *it;
            nodes_.erase(it);
            break;
        }
    }
    if (!removed) return;
    {
        std::lock_guard lock(removed->mutex);
        removed->gone = true;
        removed->replies.clear();
        removed->replyReady.notify_all();
    }
    if (removed->device) removed->device->OnPlugged(false);
    Announce(HotplugEvent::Kind::Removal, removed->info);
}

std::vector<AdapterReport> SimulatedBackend::writtenReports() const {
    std::lock_guard lock(mutex_);
    return written_;
}

void SimulatedBackend::Announce(HotplugEvent::Kind kind, const HidDeviceInfo& info) {
    for (int i = 0; i < announcements_; ++i)
        Deliver({kind, info.path, info.vendorId, info.productId});
}

// Notifications reach the listener from the event loop, never from inside the
// call that caused them, as a platform's notifications do.
void SimulatedBackend::Deliver(HotplugEvent event) {
    QMetaObject::invokeMethod(
        this, [this, event] { if (listener_) listener_(event); }, Qt::QueuedConnection);
}

// Called on the reader's thread once a parting reply has been read: the
// device drops off a moment later, after the host has had its reply.
void SimulatedBackend::ScheduleLeave(int adapter, int leaveAfterMs, int returnAfterMs) {
    QMetaObject::invokeMethod(
        this,
        [this, adapter, leaveAfterMs, returnAfterMs] {
            QTimer::singleShot(leaveAfterMs, this, [this, adapter, returnAfterMs] {
                UnplugAdapter(adapter);
                if (returnAfterMs >= 0)
                    QTimer::singleShot(returnAfterMs, this, [this, adapter] { PlugAdapter(adapter); });
            });
        },
        Qt::QueuedConnection);
}
