#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <memory>
#include <optional>
#include <vector>

#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/cli_prompts.h"
#include "engine/job_engine.h"

class Console;

// An image file read once and handed to every adapter's engine.
struct BenchImage {
    // ImageBuffer::kSize bytes, blank past the image: every adapter's engine
    // programs from this one block.
    std::shared_ptr<std::uint8_t[]> block;
    std::uint32_t size = 0;
    QString path;
    QString timeText;
    std::uint32_t crc = 0;
    ImageFormat format = ImageFormat::Unknown;
    QString header;                      // an S-record file's S0 text
    std::optional<std::uint32_t> start;  // the start address the file names

    // The file's fields of a --json object: "file", "crc32", "format", and
    // "header" and "start" where the file has them.
    void Describe(QJsonObject& o) const;
};

// One adapter as the command line found it.
struct AdapterRef {
    std::string path;
    QString serial;
    QString label;   // how the output names it
    QString output;  // read: the file this adapter's bytes go to
};

// One byte where the chip differs from the file.
struct Mismatch {
    std::uint32_t address;
    std::uint8_t expected;
    std::uint8_t actual;
};

struct SessionResult {
    enum class Outcome { Ok, Failed, Cancelled };
    Outcome outcome = Outcome::Failed;
    QString chip;
    QString reason;  // the last log line of the step that failed
    QString step;    // where a failed or cancelled run stopped, as the engine names it
    QString detail;  // what happened there; empty when the engine gave nothing
    qint64 ms = 0;
    std::size_t mismatchCount = 0;
    std::vector<Mismatch> mismatches;  // the first 20
    std::optional<std::uint32_t> readCrc;
};

// Why a run did not succeed, in one line: the job's last line, then the step
// and what happened there ("Write Failed [program block at 012300: no reply
// within 6000 ms]").
QString FailureText(const SessionResult& result);

// One adapter's link and engine, running a plan of jobs one after the other,
// each started when the last one has ended. Adapters on a bench share nothing
// but the loaded image, which no session writes.
class AdapterSession : public QObject {
    Q_OBJECT
public:
    enum class Step { CheckChip, Erase, Program, Verify, Read, Auto, Firmware };

    AdapterSession(AdapterRef adapter, HidBackend& backend, std::unique_ptr<HotplugSource> hotplug,
                   const CliOptions& options, const BenchImage* image, Console& console, const LinkTiming& timing);
    ~AdapterSession() override;

    // patches: the unit's own bytes over the image, for this run's jobs.
    void Run(std::vector<Step> plan, ImagePatchList patches = {});
    // Ends at the running job's next block; no further job starts.
    void Cancel();
    bool running() const { return running_; }
    const AdapterRef& adapter() const { return adapter_; }
    const SessionResult& result() const { return result_; }
    JobEngine& engine() { return *engine_; }
    // How far the running step stands, 0..1, and its name.
    double fraction() const { return host_.fraction(); }
    QString stepName() const;
    // One line of progress for the live display.
    QString ProgressLine() const;

signals:
    void Finished();

private:
    void NextStep();
    void StartStep(Step step);
    void OnJobEnded(bool succeeded);
    void Finish(SessionResult::Outcome outcome);
    void NoteWhereItStopped();
    void NoteMismatches();
    bool SaveRead();
    std::uint64_t StepBytes() const;

    AdapterRef adapter_;
    const CliOptions& options_;
    const BenchImage* image_;
    Console& console_;
    std::unique_ptr<HotplugSource> hotplug_;
    CliHost host_;
    CliPrompts prompts_;
    std::unique_ptr<JobEngine> engine_;
    std::vector<Step> plan_;
    std::size_t next_ = 0;
    Step step_ = Step::CheckChip;
    bool running_ = false;
    bool cancelled_ = false;
    QElapsedTimer clock_;
    QElapsedTimer stepClock_;
    SessionResult result_;
};
