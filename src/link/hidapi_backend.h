#pragma once

#include "link/adapter_lock.h"
#include "link/hid_backend.h"

// The real HID devices, through hidapi's hidraw backend.
class HidapiBackend : public HidBackend {
public:
    HidapiBackend();
    ~HidapiBackend() override;
    std::vector<HidDeviceInfo> Enumerate() override;
    std::unique_ptr<HidHandle> Open(const std::string& path) override;
    std::string AccessProblem(const std::string& path) override;
    const AdapterLocks* locks() const override { return &locks_; }

private:
    AdapterLocks locks_{AdapterLocks::DefaultDirectory()};
};
