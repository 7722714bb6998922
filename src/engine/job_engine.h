#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "engine/data_jobs.h"
#include "engine/file_load_job.h"
#include "engine/firmware_update.h"
#include "engine/image_keeper.h"
#include "engine/save_job.h"
#include "engine/job_context.h"
#include "engine/line_tracking_host.h"

// Runs every operation on the adapter as a chain of single requests: a button
// sends the first request, and the handling of each reply either sends the
// next one or ends the job. There is no queue: one request is outstanding at
// a time, and the state is the handful of fields in JobState.
//
// Lives on the user-interface thread. Replies, time-outs and link errors
// arrive as posted WM_ADAPTER_REPLY events, progress as WM_JOB_PROGRESS.
// What an ImagesChanged notice is about.
enum class ImageChange { Program, ReadBack, Marks };

class JobEngine : public QObject {
    Q_OBJECT
public:
    JobEngine(HidBackend& backend, HotplugSource* hotplug, JobHost& host, UserPrompts& prompts,
              const LinkTiming& timing = {});
    ~JobEngine() override;

    // The panel's start-up share: open the adapter if present.
    void Initialise();

    // Buttons and menu commands.
    void Detect();
    void AutoProgram();
    void OpenFile() {
        if (MayLoadOverEdits()) files_.Open();
    }
    // Open with the file already chosen: no dialog is shown.
    void OpenPath(const QString& path) {
        if (MayLoadOverEdits()) files_.Open(path);
    }
    // Loads the loaded file again over the write buffer's edits, without
    // asking: the caller has asked already, or there was nothing to lose.
    void ReloadProgramFile() {
        if (ctx_.state.fileLoaded && !ctx_.state.busy) files_.Open(ctx_.image.loadedFilePath);
    }
    void Erase() { data_.Erase(); }
    void Program() { data_.Program(); }
    void Verify() { data_.Verify(); }
    void Read() { data_.Read(); }
    void Save();
    // The frame's Update Firmware, once the user has confirmed it.
    void StartFirmwareUpdate();
    void SetAccessMode(std::uint8_t mode);
    void SetReloadLastFile(bool on) { ctx_.state.reloadLastFile = on; }

    // Asks the adapter for the chip: detection with Auto Chip ticked, the
    // selected chip's id otherwise. Leaves `busy` as it is.
    void StartChipCheck();
    // The same check as a job of its own, which ends once the chip is known
    // (the command line runs it before every job on the chip).
    void CheckChip();

    // At exit: a running worker is stopped and no worker starts again.
    void CloseWorkerSlot() { files_.CloseSlot(); }

    // Ends the running job at its next reply, leaving the adapter between
    // two requests. A firmware update ends only before its erase, its
    // adapter back in the old firmware; after it the update is seen
    // through: stopped half way, it would leave the adapter without firmware.
    void Cancel();
    // Where job durations come from: milliseconds on a clock that never goes
    // back (a test sets its own).
    void SetClock(JobMeter::Clock clock) { ctx_.meter.SetClock(std::move(clock)); }
    // The running job: how long it has taken, and how many of its bytes the
    // adapter has taken or given so far; 0 when no job runs.
    std::int64_t jobElapsedMs() const { return ctx_.state.busy ? ctx_.meter.ElapsedMs() : 0; }
    std::uint64_t jobBytesDone() const { return ctx_.state.busy ? ctx_.BytesDone() : 0; }
    JobKind runningJob() const { return ctx_.state.job; }
    // Called once a job has ended, after its last log line and its duration.
    void SetJobEndedHook(std::function<void(JobKind, bool succeeded)> hook) { jobEnded_ = std::move(hook); }
    // Serve only the adapter at this path; set before Initialise.
    void SetAdapterPath(const std::string& path) { link_.SetAdapterPath(path); }
    // Takes an image loaded elsewhere as the program image, as a load of
    // that file would (the command line reads a file once for every adapter).
    void UseImage(const std::uint8_t* bytes, std::uint32_t size, const QString& path, const QString& timeText);
    // The same without a copy: block (ImageBuffer::kSize bytes) is shared
    // with the other adapters' engines, and none of them writes it.
    void UseSharedImage(std::shared_ptr<std::uint8_t[]> block, std::uint32_t size, const QString& path,
                        const QString& timeText);
    // The unit's own bytes over the program image, for the jobs to come:
    // programmed with it and compared with it. Refused while a job runs.
    bool SetPatches(ImagePatchList patches);
    const ImagePatchList& patches() const { return ctx_.patches; }

    // The images as the views show them: checksums, edit marks, and edits
    // made in a view, which become the image (none while a job runs).
    const ImageKeeper& images() const { return keeper_; }
    bool EditProgram(const std::uint8_t* bytes, std::size_t length);
    bool EditReadBack(const std::uint8_t* bytes, std::size_t length);
    // "Save Write Buffer As...": the program image, as Intel HEX, S-record or binary.
    // Gives the path saved to, or an empty one when nothing was saved.
    QString SaveProgram();

    // The chip the last detection or chip check named (its chip list index),
    // which every job since has used; kNoChipNamed before one names a chip,
    // after one that named none, and once the adapter has gone.
    static constexpr int kNoChipNamed = -1;
    int chipInUse() const { return chipInUse_; }

signals:
    // An image changed (a load, a read, an edit), or only what is said of
    // them (saved, compared): views reload only the image that changed, so
    // that their caret stays where it is.
    void ImagesChanged(ImageChange change);
    void JobBegun(JobKind job);
    // An image file has become the program image (a firmware image is no
    // program image and is not told).
    void FileLoaded(const QString& path);
    void JobEnded(JobKind job, bool succeeded);
    // The chip in use changed: a detection or chip check named another one
    // or none, or the adapter went.
    void ChipInUseChanged(int chip);

public:
    AdapterLink& link() { return link_; }
    JobState& state() { return ctx_.state; }
    const JobState& state() const { return ctx_.state; }
    RequestBlock& request() { return ctx_.request; }
    const Payload& replyCopy() const { return ctx_.reply; }
    ImageBuffer& image() { return ctx_.image; }
    bool loadRunning() const { return files_.running(); }
    bool waitingForReconnect() const { return firmware_.waitingForReconnect(); }
    // Where the last read-back compare found the chip differing from the
    // program image, ascending.
    const std::vector<std::uint32_t>& differences() const { return ctx_.differences; }
    // The last job that ended, and whether it did what it was asked to.
    JobKind lastJob() const { return ctx_.lastJob; }
    // Jobs begun so far: a command that refused at once (busy, no file, no
    // adapter) began none and sends no job-ended notice.
    std::uint64_t jobsBegun() const { return ctx_.jobsBegun; }
    bool lastJobSucceeded() const { return ctx_.lastJobSucceeded; }
    // Where and why the last job failed; both empty after a success.
    const QString& lastJobStep() const { return ctx_.lastJobStep; }
    const QString& lastJobDetail() const { return ctx_.lastJobDetail; }

protected:
    bool event(QEvent* e) override;

private:
    void OnAdapterReply(const AdapterReplyMessage& m);
    QString StepInFlight() const;
    void DispatchReply();
    void OnDetectReply();
    void OnReadIdReply();
    void OnChipConfirmed();
    void OnReloaded();
    void OnVerifyReply();
    void OnEraseReply();
    void OnWriteBlockReply();
    void OnProgramVerifyReply();
    void OnUndefinedReply();
    void OnTimeout(const AdapterReplyMessage& m);
    void FailEarly(const QString& step, const QString& detail);
    void OnLinkLost();
    void OnJobProgress(int kind, std::int64_t value);
    void OnLoadFinished(const FileLoadOutcome& outcome);
    bool MayLoadOverEdits();
    void OnJobEnded(const JobEndedMessage& message);
    bool CancelAtThisReply();
    void NameChip(int chip);

    LineTrackingHost host_;
    AdapterLink link_;
    JobContext ctx_;
    ImageKeeper keeper_{ctx_};
    std::function<void(JobKind, bool)> jobEnded_;
    int chipInUse_ = kNoChipNamed;
    FileLoadJob files_;
    DataJobs data_;
    SaveJob save_;
    FirmwareUpdate firmware_;
    int replyTimeoutMs_;  // what a time-out's detail says it waited
};
