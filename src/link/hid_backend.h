#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class AdapterLocks;

// One HID device as the platform lists it.
struct HidDeviceInfo {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serial = {};  // empty when the device reports none
};

// An open HID device. Write and Read may be called from different threads on
// different handles of the same device; one handle is used by one thread at a time.
class HidHandle {
public:
    virtual ~HidHandle() = default;

    // Writes one whole output report (report id first). Returns the number of
    // bytes the platform says it transferred, or -1 with *errorCode set.
    virtual int Write(const std::uint8_t* report, std::size_t length, int* errorCode) = 0;

    // Waits up to timeoutMs for one input report and copies its payload (the
    // report id of an unnumbered device is not part of it) into buffer.
    // Returns the payload length, 0 when nothing arrived in time, -1 on error.
    virtual int Read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) = 0;
};

// Lists and opens HID devices.
class HidBackend {
public:
    virtual ~HidBackend() = default;

    // Every HID device present now, in the platform's enumeration order.
    virtual std::vector<HidDeviceInfo> Enumerate() = 0;

    // Opens a device path for reading and writing; null when that fails.
    virtual std::unique_ptr<HidHandle> Open(const std::string& path) = 0;

    // Why this user cannot open a device path ("permission denied"), or
    // empty when nothing stands in the way.
    virtual std::string AccessProblem(const std::string& /*path*/) { return {}; }

    // Where this bus's adapters are locked against other programs; none for
    // a bus that only this process can see (the simulator).
    virtual const AdapterLocks* locks() const { return nullptr; }
};
