#pragma once

#include "engine/job_context.h"

// The four jobs on the target chip, each a chain of single requests driven by
// the replies: erase (one request), program (one write per 256-byte block of
// the program image), verify (one request; the adapter compares), and read
// (one request per block into the read-back image). The steps of the auto
// program chain after detection live here too.
class DataJobs {
public:
    explicit DataJobs(JobContext& context) : ctx_(context) {}

    // Buttons.
    void Erase();
    void Program();
    void Verify();
    void Read();

    // Sends the first write block of a program job or an auto program.
    void StartWriting();

    // Reply handlers.
    void OnEraseReply();
    void OnWriteBlockReply();
    void OnProgramVerifyReply();
    void OnReadBlockReply();
    void OnReadFinished();

private:
    void StartRead();
    void ReadBlockStart(std::uint32_t address);
    void RunDirectPageLoop();
    void WriteNextBlock();

    JobContext& ctx_;
};
