#include "link/hidapi_backend.h"

#include <hidapi.h>

#include <cerrno>

namespace {

class HidapiHandle : public HidHandle {
public:
    explicit HidapiHandle(hid_device* device) : device_(device) {}
    ~HidapiHandle() override { hid_close(device_); }

    int Write(const std::uint8_t* report, std::size_t length, int* errorCode) override {
        errno = 0;
        const int written = hid_write(device_, report, length);
        if (written < 0) *errorCode = errno != 0 ? errno : EIO;
        return written;
    }

    // An unnumbered device's input report arrives without its report id, so a
    // whole reply is exactly the payload.
    int Read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override {
        return hid_read_timeout(device_, buffer, capacity, timeoutMs);
    }

private:
    hid_device* device_;
};

}  // namespace

HidapiBackend::HidapiBackend() { hid_init(); }

HidapiBackend::~HidapiBackend() { hid_exit(); }

std::vector<HidDeviceInfo> HidapiBackend::Enumerate() {
    std::vector<HidDeviceInfo> devices;
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* d = list; d; d = d->next) {
        devices.push_back({d->path ? d->path : "", d->vendor_id, d->product_id});
    }
    hid_free_enumeration(list);
    return devices;
}

std::unique_ptr<HidHandle> HidapiBackend::Open(const std::string& path) {
    hid_device* device = hid_open_path(path.c_str());
    if (!device) return nullptr;
    return std::make_unique<HidapiHandle>(device);
}
