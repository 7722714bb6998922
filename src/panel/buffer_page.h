#pragma once

#include <QWidget>

class HexView;
class JobEngine;
class QLabel;
class QPushButton;
class WindowPrompts;

// One of the two image tabs: the program image (WriteBuffer), what Program
// writes, or the read-back image (ReadBuffer), what the last read or verify
// found, with the bytes that differ from the program image marked. The view
// follows the engine's image; an edit in it becomes the image.
class BufferPage : public QWidget {
    Q_OBJECT
public:
    enum class Kind { WriteBuffer, ReadBuffer };

    BufferPage(Kind kind, JobEngine& engine, WindowPrompts& prompts, QWidget* parent = nullptr);

    HexView* view() const { return view_; }
    QString headerText() const;
    QString differenceText() const;

    // Moves the caret to the next or previous differing byte (F3, Shift+F3).
    void NextDifference();
    void PreviousDifference();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Refresh(bool reload = true);
    void OnEdited();
    void OnJob(bool running);
    void GoTo(std::uint32_t address);

    Kind kind_;
    JobEngine& engine_;
    HexView* view_ = nullptr;
    QLabel* header_ = nullptr;
    QLabel* differences_ = nullptr;
    bool editing_ = false;  // this page's own edit is on its way to the engine
    bool laidOutHidden_ = false;  // the view took its data while the tab was not shown
};
