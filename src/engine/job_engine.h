#pragma once

#include <QObject>
#include <memory>

#include "engine/job_host.h"
#include "engine/job_state.h"
#include "engine/request_block.h"
#include "engine/user_prompts.h"
#include "link/adapter_link.h"

// Runs every operation on the adapter as a chain of single requests: a button
// sends the first request, and the handling of each reply either sends the
// next one or ends the job. There is no queue: one request is outstanding at
// a time, and the state is the handful of fields in JobState.
//
// Lives on the user-interface thread. Replies, time-outs and link errors
// arrive as posted WM_ADAPTER_REPLY events, progress as WM_JOB_PROGRESS.
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
    void SetAccessMode(std::uint8_t mode);
    void SetReloadLastFile(bool on) { state_.reloadLastFile = on; }

    // Asks the adapter for the chip: detection with Auto Chip ticked, the
    // selected chip's id otherwise. Leaves `busy` as it is.
    void StartChipCheck();

    // At exit: a running worker is stopped and no worker starts again.
    void CloseWorkerSlot() { workerSlotClosed_ = true; }

    AdapterLink& link() { return link_; }
    JobState& state() { return state_; }
    const JobState& state() const { return state_; }
    RequestBlock& request() { return request_; }
    const Payload& replyCopy() const { return reply_; }

protected:
    bool event(QEvent* e) override;

private:
    void OnAdapterReply(int outcome, std::int64_t detail, const Payload& reply);
    void DispatchReply();
    void OnDetectReply();
    void OnReadIdReply();
    void OnVerifyReply();
    void OnUndefinedReply();
    void OnTimeout();
    void OnLinkLost();
    void OnJobProgress(int kind, std::int64_t value);

    void Send();
    void EndJob();

    // Loads an image file on the worker (the last file when `reloadNow` is set).
    void StartFileLoad();
    void OnFileLoadFailed();

    JobHost& host_;
    UserPrompts& prompts_;
    AdapterLink link_;
    JobState state_;
    RequestBlock request_;
    Payload reply_{};
    // A request went out and its one outcome has not arrived yet.
    bool awaitingReply_ = false;
    // Closed at exit: no worker starts after that.
    bool workerSlotClosed_ = false;
};
