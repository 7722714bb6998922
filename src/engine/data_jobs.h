#pragma once

#include "engine/job_context.h"

// The four jobs on the target chip, each a chain of single requests driven by
// the replies: erase (one request), program (one write per 256-byte block of
// the program image), verify (the adapter's own check, then the image read
// back and compared on the host), and read (one request per block into the
// read-back image). The steps of the auto program chain after detection live
// here too.
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
    // Sends the adapter's own verify, once the chip check has found the chip.
    void SendVerify();
    // The step a read block at this address belongs to, by what the read is for.
    QString ReadStep(std::uint32_t address) const;

    // Reply handlers.
    void OnEraseReply();
    void OnWriteBlockReply();
    void OnVerifyReply();
    void OnProgramVerifyReply();
    void OnReadBlockReply();
    void OnReadFinished();

private:
    // What a chain of read blocks is for.
    enum class ReadPurpose { Read, Verify, ClosingVerify };

    void StartRead(ReadPurpose purpose);
    void ReadBlockStart(std::uint32_t address);
    void WriteNextBlock();
    void FinishProgram();
    void StartCompare(ReadPurpose purpose);
    void FinishCompare();
    void NoteReadDifferences();
    static QString CompareStep(ReadPurpose purpose);

    JobContext& ctx_;
    ReadPurpose readPurpose_ = ReadPurpose::Read;
    int shownPercent_ = -1;  // the program job's last percent line
};
