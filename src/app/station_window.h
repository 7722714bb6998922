#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/station_settings.h"
#include "cli/cli_options.h"

class CliRunner;
class QGridLayout;
class QLabel;
class StationTile;

// A production station on screen: the recipe's run, the same as the command
// line's, with one tile per place and the run's totals at the top. The view
// only shows what the run reports; the run itself is the command line's.
class StationWindow : public QWidget {
    Q_OBJECT
public:
    // A run of the recipe at recipePath on every adapter; simulatedAdapters
    // above 0 puts that many simulated adapters on the bench instead.
    static CliOptions OptionsFor(const QString& recipePath, int simulatedAdapters,
                                 const StationSettings& settings = {});

    explicit StationWindow(const CliOptions& options, QWidget* parent = nullptr);
    ~StationWindow() override;

    // Starts the run; Ended(code) follows when it is over, perhaps at once.
    void Start();
    QString headerText() const;
    // The header's second line: the record, what starts the next unit, the stop.
    QString optionsText() const;
    QString totalsText() const;
    // The run's last complaint: why it stopped, or refused to start.
    QString messageText() const;
    QList<StationTile*> tiles() const { return tiles_; }

signals:
    void Ended(int exitCode);

protected:
    void closeEvent(QCloseEvent* event) override;
    // With the next unit on Enter, Enter (either one) is the operator's press.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Refresh();
    void OnDone(int code);

    std::unique_ptr<CliRunner> runner_;
    QLabel* header_;
    QLabel* options_;
    QLabel* totals_;
    QLabel* message_;
    QGridLayout* grid_;
    QList<StationTile*> tiles_;
    QTimer refresh_;
    bool ended_ = false;
    bool closing_ = false;
};
