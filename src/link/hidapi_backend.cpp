#include "link/hidapi_backend.h"

#include <QString>
#include <hidapi.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>

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

std::string Utf8(const wchar_t* text) { return text ? QString::fromWCharArray(text).toStdString() : std::string(); }

}  // namespace

HidapiBackend::HidapiBackend() { hid_init(); }

HidapiBackend::~HidapiBackend() { hid_exit(); }

std::vector<HidDeviceInfo> HidapiBackend::Enumerate() {
    std::vector<HidDeviceInfo> devices;
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* d = list; d; d = d->next) {
        devices.push_back({d->path ? d->path : "", d->vendor_id, d->product_id, Utf8(d->serial_number)});
    }
    hid_free_enumeration(list);
    return devices;
}

std::unique_ptr<HidHandle> HidapiBackend::Open(const std::string& path) {
    hid_device* device = hid_open_path(path.c_str());
    if (!device) return nullptr;
    return std::make_unique<HidapiHandle>(device);
}

// hidraw paths are device nodes: what stands in the way of opening one is
// what the file system says of it.
std::string HidapiBackend::AccessProblem(const std::string& path) {
    if (::access(path.c_str(), R_OK | W_OK) == 0) return {};
    const int error = errno;
    if (error == EACCES || error == EPERM) return "permission denied";
    return std::strerror(error);
}
