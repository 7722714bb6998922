#include "link/adapter_listing.h"

#include "link/adapter_lock.h"
#include "link/adapter_report.h"

namespace {

std::string OwnerText(int ownerPid) {
    return "in use by another program (pid " + (ownerPid > 0 ? std::to_string(ownerPid) : "unknown") + ")";
}

}  // namespace

std::vector<AdapterListing> ListAdapters(HidBackend& backend) {
    std::vector<AdapterListing> adapters;
    for (const HidDeviceInfo& device : backend.Enumerate()) {
        if (device.vendorId != kAdapterVendorId || device.productId != kAdapterProductId) continue;
        AdapterListing listed{device, backend.AccessProblem(device.path)};
        // Whether someone else has it only matters once this user could open it.
        if (listed.problem.empty() && backend.locks())
            listed.ownerPid = backend.locks()->OwnerElsewhere(device.path, device.serial);
        if (listed.ownerPid != 0) listed.problem = OwnerText(listed.ownerPid);
        adapters.push_back(std::move(listed));
    }
    return adapters;
}

std::string AccessAdvice() {
    return "install the udev rule 70-brellix.rules (sudo cp resources/70-brellix.rules /etc/udev/rules.d/ "
           "&& sudo udevadm control --reload-rules && sudo udevadm trigger) and plug the adapter in again";
}

std::string AccessProblemLine(const std::vector<AdapterListing>& adapters) {
    for (const AdapterListing& adapter : adapters) {
        if (adapter.problem.empty() || adapter.ownerPid != 0) continue;
        return "QZProgrammer found at " + adapter.device.path + " but it cannot be opened (" + adapter.problem +
               "): " + AccessAdvice() + "\r\n";
    }
    return {};
}

std::string InUseLine(const std::string& path, int ownerPid) {
    return "Adapter " + path + " is " + OwnerText(ownerPid) + "\r\n";
}
