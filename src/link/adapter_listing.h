#pragma once

#include <string>
#include <vector>

#include "link/hid_backend.h"

// One adapter on the bus, and whether this user may open it.
struct AdapterListing {
    HidDeviceInfo device;
    std::string problem;  // empty when it can be opened
    int ownerPid = 0;     // another program that drives it now (-1: one that left no pid); 0 when none
};

// Every attached adapter in the platform's order, with what stands in the
// way of opening each. The window and the command line give the same
// diagnosis from it.
std::vector<AdapterListing> ListAdapters(HidBackend& backend);

// What to do about an adapter that cannot be opened for want of permission.
std::string AccessAdvice();

// One line for the log about adapters that are there but cannot be opened
// for want of permission; empty when there are none.
std::string AccessProblemLine(const std::vector<AdapterListing>& adapters);

// The line for an adapter that another program has open, ending in "\r\n".
std::string InUseLine(const std::string& path, int ownerPid);
