#include "silent_backend.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

constexpr char kPath[] = "/dev/hidraw-fuzz";

class SilentHandle : public HidHandle {
  public:
    explicit SilentHandle(SilentBackend& bus) : bus_(bus) {}

    int Write(const std::uint8_t* report, std::size_t length, int*) override {
        ++bus_.writes;
        std::memcpy(bus_.lastRequest.data(), report, std::min(length, bus_.lastRequest.size()));
        return int(length);
    }
    int Read(std::uint8_t*, std::size_t, int timeoutMs) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return 0;
    }

  private:
    SilentBackend& bus_;
};

}  // namespace

std::vector<HidDeviceInfo> SilentBackend::Enumerate() {
    return {{kPath, kAdapterVendorId, kAdapterProductId}};
}

std::unique_ptr<HidHandle> SilentBackend::Open(const std::string&) {
    return std::make_unique<SilentHandle>(*this);
}
