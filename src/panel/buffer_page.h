#pragma once

#include <QWidget>

class HexFindBar;
class HexView;
class JobEngine;
class QAction;
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
    // The find bar under the view, opened with Ctrl+F.
    HexFindBar* findBar() const { return findBar_; }
    QString headerText() const;
    QString differenceText() const;

    // Moves the caret to the next or previous differing byte (F3, Shift+F3),
    // wrapping at the ends; the difference label then says "n of N".
    void NextDifference();
    void PreviousDifference();
    // The write buffer's Revert to File: the loaded file's image again,
    // after asking only when there are edits to lose.
    void RevertToFile();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Refresh(bool reload = true);
    void OnEdited();
    void OnJob(bool running);
    void GoTo(std::uint32_t address);
    void ShowDifference(std::size_t index);
    void SaveAs(WindowPrompts& prompts);

    Kind kind_;
    JobEngine& engine_;
    HexView* view_ = nullptr;
    QLabel* header_ = nullptr;
    HexFindBar* findBar_ = nullptr;
    QLabel* differences_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QAction* nextAction_ = nullptr;
    QAction* previousAction_ = nullptr;
    QPushButton* revert_ = nullptr;
    WindowPrompts& prompts_;
    QString savedName_;  // the name the write buffer was last saved as
    bool editing_ = false;  // this page's own edit is on its way to the engine
    bool laidOutHidden_ = false;  // the view took its data while the tab was not shown
};
