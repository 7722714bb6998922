#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "hexview/hex_editor.h"
#include "hexview/hex_frame_painter.h"

class QAction;
class QMenu;
class QScrollBar;
class UserPrompts;

// The hex view: addresses, hex bytes and characters of its own copy of the
// data, with a caret, a selection, overtyping, insertion and deletion. It
// keeps its own copy and says when an edit changed it, so that the owner can
// make the edit count. The logic lives in HexEditor; this widget measures
// the font, turns events into steps of that logic and paints what it holds.
class HexView : public QWidget {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);
    ~HexView() override;

    // Safe to call from a worker thread: the copy is then handed to the
    // user-interface thread and applied there. When memory for the copy
    // cannot be had, the previous data stays.
    void SetData(const std::uint8_t* data, std::size_t length);
    // 8, 16 or 32 bits per displayed unit.
    void SetDisplayWidth(int bits);
    // Where the goto dialog and its messages are asked; without prompts the
    // goto to a typed address does nothing.
    void SetPrompts(UserPrompts* prompts) { prompts_ = prompts; }

    // The clipboard commands. Copy and cut need a selection; paste puts the
    // clipboard's bytes in at the caret or in place of the selection.
    void Copy();
    void Cut();
    void Paste();
    void SelectAll();
    // Takes back or makes again the last edit of the view's bytes.
    void Undo();
    void Redo();
    // The bytes as they stand were saved: no byte is drawn as edited.
    void MarkSaved();
    // A read-only view moves its caret and copies, but changes nothing.
    void SetReadOnly(bool readOnly);
    // What an empty view says, centred in it; nothing when empty.
    void SetEmptyHint(const QString& hint);
    QString emptyHint() const { return emptyHint_; }
    // The face the bytes are drawn in.
    const QFont& viewFont() const { return painter_.font(); }
    // Offsets drawn in the difference colour, ascending; the caller keeps
    // the list alive while the view shows it (null for none).
    void SetMarks(const std::vector<std::uint32_t>* marks);
    // An entry for the view's context menu (next and previous difference).
    void AddContextAction(QAction* action);
    int caretOffset() const { return editor_.caret().caretOffset(); }
    // Selects the bytes from `from` up to `to` - 1 in the hex column, with
    // the caret on the first, scrolled into view.
    void SelectRange(int from, int to);
    // Moves the caret to a byte and scrolls it into view.
    void GotoOffset(int offset);
    // The context menu's commands.
    void GotoAddr();
    void GotoEnd();

    const std::vector<std::uint8_t>& data() const { return editor_.document().data(); }
    int displayWidth() const { return editor_.displayWidth(); }
    const HexEditor& editor() const { return editor_; }
    QScrollBar* scrollBar() const { return scrollBar_; }
    // The area the rows are drawn in: the widget less its scroll bar.
    QRect clientRect() const;
    // Composes a new frame at the next paint.
    void Redraw();

    QSize sizeHint() const override { return QSize(608, 246); }

signals:
    // A key, a cut or a paste changed the view's bytes.
    void Edited();
    // The selection or its bytes changed: its length (0 for none) and the
    // CRC-32 of its bytes, made here once per change, never in a paint.
    void SelectionChanged(int length, quint32 crc);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void AcceptData(const std::uint8_t* data, std::size_t length);
    // Places the bar and tells the logic the client size. A hidden widget
    // gets no resize event, so this also runs before any event that needs it.
    void SyncGeometry();
    void CreateContextMenu();
    bool PlaceSelection();
    void OnScrollAction(int action);
    void RunCommand(HexCommand command);
    // Carries out what the last step of the logic asked for.
    void ApplyEffects(bool fromScrollBar = false);
    void ApplyScrollRange(const ScrollBarState& state);
    void ComposeFrame();
    bool CaretVisible() const;
    QRect CaretRect() const;
    void RestartBlink();
    void TellSelection();

    HexEditor editor_;
    QScrollBar* scrollBar_ = nullptr;
    HexFramePainter painter_;
    UserPrompts* prompts_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QAction* gotoAddr_ = nullptr;
    QAction* gotoEnd_ = nullptr;
    QImage frame_;
    bool frameDirty_ = true;
    QTimer blink_;
    bool blinkOn_ = true;
    QString emptyHint_;
    bool leftHeld_ = false;
    bool dragPending_ = false;
    QPoint pressPos_;
    QSize syncedSize_;
    unsigned seenRevision_ = 0;
    // The selection last told, with the revision its checksum was made for.
    int toldLow_ = -1, toldHigh_ = -1;
    unsigned toldRevision_ = 0;
    const std::vector<std::uint32_t>* marks_ = nullptr;
};
