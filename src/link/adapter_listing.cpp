#include "link/adapter_listing.h"

#include "link/adapter_report.h"

std::vector<AdapterListing> ListAdapters(HidBackend& backend) {
    std::vector<AdapterListing> adapters;
    for (const HidDeviceInfo& device : backend.Enumerate()) {
        if (device.vendorId != kAdapterVendorId || device.productId != kAdapterProductId) continue;
        adapters.push_back({device, backend.AccessProblem(device.path)});
    }
    return adapters;
}

std::string AccessAdvice() {
    return "install the udev rule 70-brellix.rules (sudo cp resources/70-brellix.rules /etc/udev/rules.d/ "
           "&& sudo udevadm control --reload-rules && sudo udevadm trigger) and plug the adapter in again";
}

std::string AccessProblemLine(const std::vector<AdapterListing>& adapters) {
    for (const AdapterListing& adapter : adapters) {
        if (adapter.problem.empty()) continue;
        return "QZProgrammer found at " + adapter.device.path + " but it cannot be opened (" + adapter.problem +
               "): " + AccessAdvice() + "\r\n";
    }
    return {};
}
