#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct HotplugEvent {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// Tells the link when devices arrive and leave. Every event is delivered on
// the user-interface thread, one at a time.
class HotplugSource {
public:
    using Listener = std::function<void(const HotplugEvent&)>;
    virtual ~HotplugSource() = default;
    virtual void SetListener(Listener listener) = 0;
    // A line for the log at start when this source is a stand-in for the
    // platform's own notifications; empty when there is nothing to say.
    virtual std::string StartupNote() const { return {}; }
};
