#pragma once

#include "engine/job_host.h"
#include "engine/job_state.h"
#include "engine/request_block.h"
#include "engine/user_prompts.h"
#include "image/image_buffer.h"
#include "link/adapter_link.h"

// What every part of the job engine works on: the job state, the one request
// block, the copy of the last reply, the images, and the ways out to the
// adapter and to the user. Lives on the user-interface thread.
struct JobContext {
    JobContext(JobHost& host, UserPrompts& prompts, AdapterLink& link)
        : host(host), prompts(prompts), link(link) {}

    JobHost& host;
    UserPrompts& prompts;
    AdapterLink& link;
    JobState state;
    RequestBlock request;
    Payload reply{};
    ImageBuffer image;
    // A request went out and its one outcome has not arrived yet.
    bool awaitingReply = false;

    // Sends the request block as it stands.
    void Send() {
        awaitingReply = true;
        link.SendAdapterReport(request.raw(), RequestBlock::size(), 1);
    }

    // The end of a job: nothing runs, and an auto program chain is over.
    void EndJob() {
        state.busy = false;
        state.autoProgram = false;
    }
};
