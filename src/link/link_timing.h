#pragma once

// The link's waits. The defaults are the adapter's real ones; tests inject
// short ones so that nothing waits for seconds.
struct LinkTiming {
    int replyTimeoutMs = 6000;  // how long a request waits for its reply
    int readerStopMs = 100;     // how long closing waits for a reader still waiting
    int reopenDelayMs = 200;    // arrival to reopen: the interface needs a moment to settle
    int readSliceMs = 20;       // a waiting reader looks for a close this often
    int reconnectDeadlineMs = 3000;  // a restarting adapter must be back within this
    int loadStopMs = 100;       // how long exit waits for a file load before letting it go
    int ownerRetryMs = 1000;    // while another program has the adapter, how often to look again
};
