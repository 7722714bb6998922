#pragma once

#include "link/adapter_report.h"
#include "link/hid_backend.h"

// A bus with one adapter that takes every request and never answers: its
// reads wait out their time and return nothing, so the link's reader posts
// nothing of its own and every outcome the engine sees is the one a fuzzer
// hands it. Requests are counted and the last one kept.
class SilentBackend : public HidBackend {
  public:
    std::vector<HidDeviceInfo> Enumerate() override;
    std::unique_ptr<HidHandle> Open(const std::string& path) override;

    // Written on the user-interface thread only, where the engine sends.
    int writes = 0;
    AdapterReport lastRequest{};
};
