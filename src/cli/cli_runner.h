#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

#include "bus/adapter_bus.h"
#include "cli/adapter_session.h"
#include "cli/cli_options.h"
#include "cli/console.h"
#include "link/hotplug_hub.h"

class ProductionLoop;
class RecipeStation;
struct Recipe;

// Exit codes of the command line.
enum CliExit { EXIT_OK = 0, EXIT_JOB_FAILED = 1, EXIT_USAGE = 2, EXIT_NO_ADAPTER = 3, EXIT_NO_ACCESS = 4,
               EXIT_INTERRUPTED = 130 };

// One run of the command line: finds the adapters, reads the file once, runs
// the command on every chosen adapter at once, and sums up.
class CliRunner : public QObject {
    Q_OBJECT
public:
    CliRunner(const CliOptions& options, const LinkTiming& timing = {});
    ~CliRunner() override;

    // Starts the run; Done(code) follows, perhaps at once.
    void Start();
    // Ctrl+C (SIGINT) or SIGTERM: every adapter ends its running job at the
    // next block, and the run exits with 128 + signal.
    void Interrupt(int signal);

    // For a view of a production run, once Start has begun it; nullptr before
    // that, and when the run was refused.
    ProductionLoop* production() const { return production_.get(); }
    const Recipe* recipe() const { return recipeData_.get(); }
    std::uint32_t imageCrc() const { return image_ ? image_->crc : 0; }
    const CliOptions& options() const { return options_; }
    Console& console() { return console_; }

signals:
    void Done(int exitCode);

private:
    std::unique_ptr<AdapterBus> MakeBus();
    int List();
    bool LoadFile();
    bool PrepareRecipe();
    bool MatchRecipeImage();
    bool OpenRecord();
    int ChooseAdapters(std::vector<AdapterRef>& chosen);
    bool ChooseOutputs(std::vector<AdapterRef>& chosen);
    std::vector<AdapterSession::Step> Plan() const;
    void StartSessions(const std::vector<AdapterRef>& adapters);
    void OnSessionFinished();
    void ShowProgress();
    void StopProgress();
    void Report();
    void ReportFailures();
    int ExitCode() const;
    void End(int code);

    CliOptions options_;
    LinkTiming timing_;
    Console console_;
    std::unique_ptr<AdapterBus> bus_;
    std::unique_ptr<HotplugHub> hub_;
    std::unique_ptr<BenchImage> image_;
    std::vector<std::unique_ptr<AdapterSession>> sessions_;
    std::unique_ptr<Recipe> recipeData_;
    std::unique_ptr<RecipeStation> recipe_;
    std::unique_ptr<ProductionLoop> production_;
    QTimer progressTimer_;
    bool interrupted_ = false;
    int signal_ = 0;
    int inaccessible_ = 0;
    bool ended_ = false;
};
