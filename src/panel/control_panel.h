#pragma once

#include <QWidget>
#include <map>
#include <memory>

#include "engine/job_engine.h"
#include "engine/job_host.h"
#include "engine/user_prompts.h"
#include "panel/window_prompts.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QRadioButton;
class QTextEdit;
class HexView;

// The program's working surface: the job buttons, the chip list with Auto
// Chip, the data-width radios, the hex view, the log and the progress bar. It
// owns the job engine and is the engine's window onto the user.
class ControlPanel : public QWidget, public JobHost {
    Q_OBJECT
public:
    // frame receives the adapter menu messages; it is known before the panel
    // opens the adapter, so the first messages reach it.
    ControlPanel(HidBackend& backend, HotplugSource* hotplug, UserPrompts& prompts,
                 QObject* frame, QWidget* parent = nullptr, const LinkTiming& timing = {});
    ~ControlPanel() override;

    JobEngine& engine() { return *engine_; }
    // Every question of the window goes through these.
    WindowPrompts& prompts() { return *prompts_; }
    // What a save of the last read proposes: the chip and the range read.
    QString ReadBackSaveName() const;
    QWidget* control(int id) const;
    HexView* hexView() const { return hexView_; }
    // What the view says it shows: "File a.hex", "Chip, read 000000-030D3F"
    // or "Firmware image"; empty while it shows nothing.
    QString viewCaption() const;
    QString committedLog() const { return committed_; }
    QString shownLog() const { return shown_; }

    // The log's right-click menu as it would open now; the caller owns it.
    QMenu* BuildLogMenu();

    // Ends the running job at its next block; a firmware update whose erase
    // has gone out is seen through, and the log says why. Nothing happens
    // when no job runs.
    void Stop();
    // How far the running job's bar has come, 0..100, or -1 when no job
    // runs or the job has no bar.
    int progressPercent() const;

    // Whether the program may end now. A running job would leave the chip
    // half done, so then the user decides; an answer of Yes holds until the end.
    bool ConfirmQuit();

    // JobHost
    void AppendLog(const QString& text) override;
    void ShowTransientLine(const QString& line) override;
    void ClearLog() override;
    void SetProgress(int maximum, int position) override;
    // While held (a production station has the adapters) the job buttons
    // stay disabled, whatever the jobs' ends would enable.
    void HoldJobButtons(bool hold);
    void EnableJobButtons() override;
    void DisableJobButtons() override;
    int SelectedChip() const override;
    void SelectChip(int index) override;
    bool AutoChipChecked() const override;
    void SetAutoChip(bool checked) override;
    void ShowData(const std::uint8_t* data, std::size_t length) override;
    void EnableHexView(bool enable) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void CreateControls();
    void CreateButtons();
    void ApplyColours();
    void SetTabOrder();
    void ConnectControls();
    void ApplyLayout();
    void PushLog();
    void OnDataWidth();
    void OnLogMenu(const QPoint& pos);
    void Exit();
    bool SaveEdits();
    void ConnectImages();
    void RefreshView();
    void CreateCaption();
    void ShowCaption();
    void OnViewEdited();

    // Before the engine, which asks through it.
    std::unique_ptr<WindowPrompts> prompts_;
    std::unique_ptr<JobEngine> engine_;
    bool quitConfirmed_ = false;
    std::map<int, QWidget*> controls_;
    std::map<int, QAbstractButton*> jobButtons_;
    HexView* hexView_ = nullptr;
    QTextEdit* log_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QAbstractButton* stop_ = nullptr;
    int progressMaximum_ = 0;
    int progressPosition_ = 0;
    bool buttonsHeld_ = false;
    QComboBox* chipList_ = nullptr;
    QCheckBox* autoChip_ = nullptr;
    QGroupBox* group_ = nullptr;
    QRadioButton* radios_[3] = {};
    QString committed_;
    QString shown_;
    // Which image the panel's view shows: the one loaded or the one read.
    enum class Shown { Nothing, Program, ReadBack } viewShows_ = Shown::Nothing;
    bool editing_ = false;
    QLabel* caption_ = nullptr;
    QString loadedFile_;
    std::size_t shownLength_ = 0;
};
