#pragma once

#include <cstdint>

// The jobs a user can start; each names itself when the adapter is lost under it.
enum class JobKind { None, Detect, Erase, Program, Verify, Read, AutoProgram, FirmwareUpdate };

// The name of a job as the log gives it.
const char* JobName(JobKind kind);

// The job engine's state: a handful of plain flags and counters, touched on
// the user-interface thread only.
struct JobState {
    bool busy = false;            // a job runs; a request is outstanding or about to be sent
    bool autoProgram = false;     // the running job is the auto program chain
    bool firmwareUpdate = false;  // the running job is a firmware update
    bool fileLoaded = false;      // the program image holds a loaded file
    JobKind job = JobKind::None;  // the running job
    std::uint32_t programAddress = 0;  // the next write block (16-bit words in a firmware update)
    std::uint32_t readAddress = 0;     // the next read block
    std::uint32_t readStart = 0;       // the read range, both ends inclusive
    std::uint32_t readEnd = 0;
    std::uint8_t accessMode = 0;   // 0 Direct, 1 JTAG; also request byte 13
    bool reloadLastFile = false;   // Auto Program reloads the last file first
    bool reloadNow = false;        // the next load re-reads the last file without asking
};
