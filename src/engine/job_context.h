#pragma once

#include <QEvent>
#include <functional>
#include <vector>

#include "engine/job_host.h"
#include "engine/job_meter.h"
#include "engine/job_state.h"
#include "engine/request_block.h"
#include "engine/user_prompts.h"
#include "image/image_buffer.h"
#include "link/adapter_link.h"
#include "link/window_messages.h"

// What every part of the job engine works on: the job state, the one request
// block, the copy of the last reply, the images, and the ways out to the
// adapter and to the user. Lives on the user-interface thread.
struct JobContext {
    JobContext(JobHost& host, UserPrompts& prompts, AdapterLink& link, QObject* engine)
        : host(host), prompts(prompts), link(link), engine(engine) {}

    JobHost& host;
    UserPrompts& prompts;
    AdapterLink& link;
    QObject* engine;  // where the engine's own messages are posted
    JobState state;
    RequestBlock request;
    Payload reply{};
    ImageBuffer image;
    // A request went out and its one outcome has not arrived yet.
    bool awaitingReply = false;
    // The code the outcome awaited must carry: no reply of another kind may
    // reach a job's handler.
    std::uint8_t expectedReply = 0;
    // The request whose outcome is awaited; outcomes of requests a job left
    // behind when it ended are not the next job's.
    std::uint64_t awaitedSerial = 0;
    std::uint64_t madeUpReplies = 0;
    // Where the last read-back compare found the chip differing from the
    // program image, ascending.
    std::vector<std::uint32_t> differences;
    bool compared = false;  // the read-back image has been compared with the program image
    // The user asked the running job to end at its next reply; it goes with
    // the job, however the job ends.
    bool cancelRequested = false;
    // How the last job ended.
    JobKind lastJob = JobKind::None;
    bool lastJobSucceeded = false;
    // Why the running job is failing, said by whoever ends it as failed: the
    // step it was in ("program block at 0x012300") and what happened there
    // ("no reply within 6000 ms"). Kept with the job's end; empty on success.
    QString failStep, failDetail;
    void NoteFailure(const QString& step, const QString& detail) {
        failStep = step;
        failDetail = detail;
    }
    // Ends the running job as failed, saying where and why.
    void FailJob(const QString& step, const QString& detail) {
        NoteFailure(step, detail);
        EndJob(false);
    }
    QString lastJobStep, lastJobDetail;
    // Told when the program image (a load) or the read-back image (a read,
    // the read-back of a compare) has been replaced.
    enum class Image { Program, ReadBack };
    std::function<void(Image)> imageReplaced;
    void ImageReplaced(Image which) {
        if (imageReplaced) imageReplaced(which);
    }
    // Told when a job begins.
    std::function<void(JobKind)> jobBegun;

    // Sends the request block as it stands.
    void Send() {
        awaitingReply = true;
        expectedReply = request.command();
        link.SendAdapterReport(request.raw(), RequestBlock::size(), 1);
        awaitedSerial = link.lastRequestSerial();
    }

    // Sends the 256 bytes of the program image from offset for writing at
    // address, or, for a blank block on a chip that may skip it, answers it
    // here without the adapter. Where the image ends inside the block, the
    // rest goes out blank (0xFF), as erased memory reads, whatever the
    // buffer holds past the image.
    void WriteBlock(std::uint64_t offset, std::uint32_t address);

    // Said before every question about the chip; its answer continues the line.
    static constexpr char kCheckingLine[] = "QZProgrammer attached! Checking device...";
    // Asks the adapter for the chip: detection with Auto Chip ticked, the
    // selected chip's id otherwise. Leaves `busy` as it is.
    void StartChipCheck();

    // An image with no data programs nothing: Program and Auto Program
    // refuse it with this line.
    QString EmptyImageLine() const { return image.loadedFilePath + " holds no data\r\n"; }

    // Posts one of the engine's own messages to itself.
    void Post(QEvent::Type type, int wParam, std::int64_t lParam);

    // Jobs begun so far: a button that refused at once began none.
    std::uint64_t jobsBegun = 0;

    void BeginJob(JobKind kind) {
        state.busy = true;
        state.job = kind;
        cancelRequested = false;
        failStep.clear();
        failDetail.clear();
        ++jobsBegun;
        meter.Begin();
        if (jobBegun) jobBegun(kind);
    }

    // The end of a job: nothing runs, and an auto program chain or a firmware
    // update is over (a later load or re-attachment must not continue it).
    // Whoever waits for the job hears of it once the handler that ended it
    // has logged its last line.
    void EndJob(bool succeeded = false);

    // How long the running job has taken, and how far it has come.
    JobMeter meter;
    // Bytes of the running job's data the adapter has taken or given so far.
    std::uint64_t BytesDone() const;
    // Bytes the running job moves when it ends well: what its rate is over.
    std::uint64_t BytesMoved() const;
};
