#pragma once

#include "link/link_timing.h"

// Waits short enough for a test: a silent adapter costs 200 ms, not 6 s. Long
// enough that a reply is never late on a loaded machine under the sanitizers.
inline LinkTiming ShortLinkTiming() {
    LinkTiming t;
    t.replyTimeoutMs = 200;
    t.reopenDelayMs = 20;
    t.readSliceMs = 5;
    return t;
}
