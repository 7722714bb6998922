#include "hexview/hex_view.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QThread>
#include <climits>
#include <memory>
#include <new>
#include <optional>

#include "engine/user_prompts.h"
#include "hexview/hex_address.h"
#include "hexview/hex_clipboard.h"
#include "image/checksum.h"

namespace {

constexpr int kCellWidth = 8;

// The system's fixed-width face at a 12-pixel character height, 8 pixels
// wide on average; DejaVu Sans Mono, which the program's dependencies bring,
// stands in where the system names none. The face is stretched to the
// 8-pixel cell and the last fraction of a pixel is taken up by letter
// spacing, so that every character starts on a cell boundary and the caret
// and clicks line up with the digits. Smoothed, so that B and 8, D and 0
// keep their shapes at every scale.
QFont ViewFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies(font.families() + QStringList{"DejaVu Sans Mono", "Liberation Mono", "Courier"});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::PreferAntialias);
    const qreal natural = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    if (natural > 0) font.setStretch(qBound(50, qRound(100 * kCellWidth / natural), 200));
    const qreal stretched = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    font.setLetterSpacing(QFont::AbsoluteSpacing, kCellWidth - stretched);
    return font;
}

std::optional<HexKey> KeyOf(int key) {
    switch (key) {
        case Qt::Key_Left:
            return HexKey::Left;
        case Qt::Key_Right:
            return HexKey::Right;
        case Qt::Key_Up:
            return HexKey::Up;
        case Qt::Key_Down:
            return HexKey::Down;
        case Qt::Key_PageUp:
            return HexKey::PageUp;
        case Qt::Key_PageDown:
            return HexKey::PageDown;
        case Qt::Key_Home:
            return HexKey::Home;
        case Qt::Key_End:
            return HexKey::End;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return HexKey::Tab;
        case Qt::Key_Insert:
            return HexKey::Insert;
        case Qt::Key_Delete:
            return HexKey::Delete;
        default:
            return std::nullopt;
    }
}

// The 8-bit character code a key types, control codes included; -1 for none.
int CharCode(const QKeyEvent* event) {
    const int key = event->key();
    if ((event->modifiers() & Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z)
        return key - Qt::Key_A + 1;
    switch (key) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        default:
            break;
    }
    const QString text = event->text();
    if (text.isEmpty() || text.at(0).unicode() > 0xFF) return -1;
    return text.at(0).unicode();
}

// The keys the view acts on that a window shortcut could also want: its
// movement and editing keys, the clipboard commands (Shift or not, as the
// view ignores Shift on them) and plain characters. Any other Ctrl+letter
// only types a control code, and gives way to a shortcut of the window;
// without one it still reaches the view. Function keys type nothing.
bool ClaimsKey(const QKeyEvent* event) {
    if (event->modifiers() & Qt::AltModifier) return false;
    if (KeyOf(event->key())) return true;
    if (event->modifiers() & Qt::ControlModifier) {
        switch (event->key()) {
            case Qt::Key_C:
            case Qt::Key_V:
            case Qt::Key_X:
            case Qt::Key_Y:
            case Qt::Key_Z:
                return true;
            default:
                return false;
        }
    }
    return CharCode(event) >= 0;
}

}  // namespace

HexView::HexView(QWidget* parent)
    : QWidget(parent),
      painter_(ViewFont(), palette().color(QPalette::Active, QPalette::Highlight),
               palette().color(QPalette::Active, QPalette::Base)) {
    // Every frame covers the whole area, so there is nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setFocusPolicy(Qt::NoFocus);
    scrollBar_->setRange(0, 0);
    scrollBar_->installEventFilter(this);
    connect(scrollBar_, &QScrollBar::actionTriggered, this, &HexView::OnScrollAction);
    const QFont& font = painter_.font();
    editor_.SetMetrics(qRound(QFontMetricsF(font).horizontalAdvance(QStringLiteral("0"))),
                       QFontMetrics(font).height());
    // A desktop that turned blinking off gets a steady caret.
    blink_.setInterval(QApplication::cursorFlashTime() / 2);
    connect(&blink_, &QTimer::timeout, this, [this] {
        blinkOn_ = !blinkOn_;
        update(CaretRect());
    });
    CreateContextMenu();
    resize(sizeHint());
}

HexView::~HexView() = default;

QRect HexView::clientRect() const {
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scrollBar_);
    return QRect(0, 0, qMax(0, width() - bar), height());
}

void HexView::SyncGeometry() {
    syncedSize_ = size();
    const QRect client = clientRect();
    scrollBar_->setGeometry(client.width(), 0, width() - client.width(), height());
    editor_.SetClientSize(client.width(), client.height());
    frameDirty_ = true;
}

void HexView::SetData(const std::uint8_t* data, std::size_t length) {
    if (QThread::currentThread() == thread()) {
        AcceptData(data, length);
        return;
    }
    // A worker never touches the buffer a paint may be reading: it hands a
    // copy over, and the user-interface thread swaps it in.
    std::shared_ptr<std::vector<std::uint8_t>> copy;
    try {
        copy = std::make_shared<std::vector<std::uint8_t>>(data, data + length);
    } catch (const std::bad_alloc&) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, copy] { AcceptData(copy->data(), copy->size()); }, Qt::QueuedConnection);
}

void HexView::AcceptData(const std::uint8_t* data, std::size_t length) {
    if (size() != syncedSize_) SyncGeometry();
    if (!editor_.SetData(data, length)) return;
    seenRevision_ = editor_.document().revision();
    ApplyEffects();
    Redraw();
}

void HexView::SetReadOnly(bool readOnly) { editor_.document().SetReadOnly(readOnly); }

void HexView::SetMarks(const std::vector<std::uint32_t>* marks) {
    marks_ = marks;
    Redraw();
}

void HexView::AddContextAction(QAction* action) { contextMenu_->addAction(action); }

void HexView::SetDisplayWidth(int bits) {
    editor_.SetDisplayWidth(bits);
    ApplyEffects();
}

void HexView::Redraw() {
    frameDirty_ = true;
    update();
}

void HexView::SetEmptyHint(const QString& hint) {
    emptyHint_ = hint;
    update();
}

// ---- painting --------------------------------------------------------------

void HexView::paintEvent(QPaintEvent*) {
    const QRect client = clientRect();
    if (frameDirty_ || frame_.size() != client.size()) ComposeFrame();
    QPainter painter(this);
    painter.drawImage(0, 0, frame_);
    if (!editor_.hasData() && !emptyHint_.isEmpty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(client.adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap, emptyHint_);
    }
    if (!CaretVisible()) return;
    // A solid block that inverts what lies under it, as a system caret does.
    painter.setClipRect(client);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(CaretRect(), Qt::white);
}

void HexView::ComposeFrame() {
    const QRect client = clientRect();
    if (frame_.size() != client.size()) frame_ = QImage(client.size(), QImage::Format_RGB32);
    editor_.EnsureLayout();
    painter_.Paint(frame_, editor_, marks_);
    frameDirty_ = false;
}

bool HexView::CaretVisible() const {
    // Without a byte there is nothing for the block to stand on.
    return blinkOn_ && hasFocus() && editor_.hasData() && editor_.document().length() > 0 &&
           editor_.caret().caretShown();
}

QRect HexView::CaretRect() const {
    const HexCaret& caret = editor_.caret();
    const HexLayout& layout = editor_.layout();
    return QRect(caret.caretX(), caret.caretY(), layout.CaretWidth(caret.caretX()),
                 layout.lineHeight());
}

void HexView::RestartBlink() {
    blinkOn_ = true;
    if (hasFocus() && blink_.interval() > 0)
        blink_.start();
    else
        blink_.stop();
}

// A new size redraws, but lays nothing out anew until the data changes.
void HexView::resizeEvent(QResizeEvent*) {
    SyncGeometry();
}

// ---- scroll bar and effects --------------------------------------------------

void HexView::OnScrollAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            editor_.ScrollBarAction(ScrollCode::LineUp, 0);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            editor_.ScrollBarAction(ScrollCode::LineDown, 0);
            break;
        case QAbstractSlider::SliderPageStepSub:
            editor_.ScrollBarAction(ScrollCode::PageUp, 0);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            editor_.ScrollBarAction(ScrollCode::PageDown, 0);
            break;
        case QAbstractSlider::SliderMove:
            editor_.ScrollBarAction(ScrollCode::ToLine, scrollBar_->sliderPosition());
            break;
        default:
            break;  // the bar's ends move nothing
    }
    ApplyEffects(true);
    // The bar must show where the view went, not where the action would put it.
    scrollBar_->setSliderPosition(editor_.caret().scrollPosition());
}

void HexView::ApplyEffects(bool fromScrollBar) {
    const HexEffects effects = editor_.TakeEffects();
    if (effects.scrollRange) {
        ApplyScrollRange(editor_.UpdateScrollBar());
    } else if (effects.scrollPosition && !fromScrollBar) {
        const QSignalBlocker block(scrollBar_);
        scrollBar_->setValue(editor_.caret().scrollPosition());
    }
    if (effects.redraw) frameDirty_ = true;
    RestartBlink();
    update();
    // Whatever the step was (a key, a paste, a cut), an edit is told once.
    if (editor_.document().revision() != seenRevision_) {
        seenRevision_ = editor_.document().revision();
        emit Edited();
    }
    TellSelection();
}

void HexView::TellSelection() {
    const HexCaret& caret = editor_.caret();
    const HexDocument& document = editor_.document();
    const int low = caret.HasSelection() ? caret.SelectionLow() : -1;
    const int high = caret.HasSelection() ? std::min(caret.SelectionHigh(), document.length()) : -1;
    if (low == toldLow_ && high == toldHigh_ && (low < 0 || document.revision() == toldRevision_)) return;
    toldLow_ = low;
    toldHigh_ = high;
    toldRevision_ = document.revision();
    if (low < 0 || high <= low) {
        emit SelectionChanged(0, 0);
        return;
    }
    emit SelectionChanged(high - low, Crc32(document.bytes() + low, std::size_t(high - low)));
}

// The bar counts rows; its value is the top row, so its maximum is the last
// row that can be on top.
void HexView::ApplyScrollRange(const ScrollBarState& state) {
    const QSignalBlocker block(scrollBar_);
    scrollBar_->setRange(0, qMax(0, state.maximum - state.page + 1));
    scrollBar_->setPageStep(qMax(state.page, 1));
    scrollBar_->setSingleStep(1);
    scrollBar_->setValue(state.position);
    scrollBar_->setEnabled(state.enabled);
}

// ---- keyboard ----------------------------------------------------------------

bool HexView::event(QEvent* event) {
    if (scrollBar_ && size() != syncedSize_) SyncGeometry();
    // The view claims the keys it acts on before the window's shortcuts see them.
    if (event->type() == QEvent::ShortcutOverride) {
        if (editor_.hasData() && ClaimsKey(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

// Tab moves the caret between the columns, never the focus.
bool HexView::focusNextPrevChild(bool) {
    return false;
}

void HexView::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & Qt::AltModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    // Ctrl+Shift+Z and Ctrl+Y make again what Ctrl+Z took back.
    if (ctrl && (event->key() == Qt::Key_Y || (shift && event->key() == Qt::Key_Z))) {
        Redo();
        return;
    }
    if (const std::optional<HexKey> key = KeyOf(event->key())) {
        editor_.Key(*key, shift, ctrl);
    } else if (const int code = CharCode(event); code >= 0) {
        RunCommand(editor_.Char(code, ctrl));
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    ApplyEffects();
}

void HexView::RunCommand(HexCommand command) {
    switch (command) {
        case HexCommand::None:
            break;
        case HexCommand::Copy:
            Copy();
            break;
        case HexCommand::Cut:
            Cut();
            break;
        case HexCommand::Paste:
            Paste();
            break;
        case HexCommand::Undo:
            Undo();
            break;
    }
}

// ---- mouse and focus ---------------------------------------------------------

void HexView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const QPoint at = event->position().toPoint();
    editor_.MousePress(at.x(), at.y(), shift);
    leftHeld_ = true;
    // Whether a plain press starts a selection is known once the pointer
    // has moved far enough, or not at all by the release.
    dragPending_ = !shift;
    pressPos_ = at;
    ApplyEffects();
}

void HexView::mouseMoveEvent(QMouseEvent* event) {
    if (!leftHeld_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint at = event->position().toPoint();
    if (dragPending_) {
        if ((at - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
        dragPending_ = false;
        editor_.BeginDrag();
    }
    editor_.MouseMove(at.x(), at.y());
    ApplyEffects();
}

void HexView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (leftHeld_ && dragPending_) editor_.ClickWithoutDrag();
    leftHeld_ = false;
    dragPending_ = false;
    ApplyEffects();
}

// A double click does nothing, and goes no further.
void HexView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void HexView::wheelEvent(QWheelEvent* event) {
    editor_.Wheel(event->angleDelta().y());
    event->accept();
    ApplyEffects();
}

// The wheel over the bar scrolls as it does over the rows.
bool HexView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scrollBar_ && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void HexView::focusInEvent(QFocusEvent*) {
    editor_.FocusIn();
    ApplyEffects();
}

void HexView::focusOutEvent(QFocusEvent*) {
    editor_.FocusOut();
    ApplyEffects();
}

// ---- clipboard -----------------------------------------------------------------

bool HexView::PlaceSelection() {
    const HexCaret& caret = editor_.caret();
    if (!editor_.hasData() || !caret.HasSelection()) return false;
    const int lo = caret.SelectionLow();
    const int count = caret.SelectionHigh() - lo;
    return HexClipboard::Place(editor_.document().bytes() + lo, std::size_t(count),
                               caret.caretArea() == AreaText);
}

void HexView::Copy() {
    PlaceSelection();
}

// The bytes go only once they are safely on the clipboard.
void HexView::Cut() {
    if (!PlaceSelection()) return;
    editor_.RemoveSelectedBytes();
    ApplyEffects();
}

void HexView::SelectRange(int from, int to) {
    if (size() != syncedSize_) SyncGeometry();
    editor_.SelectRange(from, to);
    ApplyEffects();
}

void HexView::MarkSaved() {
    editor_.document().ForgetEdits();
    Redraw();
}

void HexView::Undo() {
    if (editor_.Undo()) ApplyEffects();
}

void HexView::Redo() {
    if (editor_.Redo()) ApplyEffects();
}

void HexView::Paste() {
    if (!editor_.hasData()) return;
    const std::optional<QByteArray> bytes = HexClipboard::Take();
    if (!bytes || bytes->isEmpty() || bytes->size() > INT_MAX) return;
    editor_.Paste(reinterpret_cast<const std::uint8_t*>(bytes->constData()), int(bytes->size()));
    ApplyEffects();
}

void HexView::SelectAll() {
    editor_.SelectAll();
    ApplyEffects();
}

// ---- context menu and goto -------------------------------------------------------

void HexView::CreateContextMenu() {
    contextMenu_ = new QMenu(QStringLiteral("HexEdit"), this);
    gotoAddr_ = contextMenu_->addAction(QStringLiteral("Goto Addr"));
    gotoEnd_ = contextMenu_->addAction(QStringLiteral("Goto End"));
    connect(gotoAddr_, &QAction::triggered, this, &HexView::GotoAddr);
    connect(gotoEnd_, &QAction::triggered, this, &HexView::GotoEnd);
}

// Addresses are typed as byte offsets, so the goto items serve the 8-bit
// width only.
void HexView::contextMenuEvent(QContextMenuEvent* event) {
    const bool usable = editor_.document().length() != 0 && editor_.displayWidth() == 8;
    gotoAddr_->setEnabled(usable);
    gotoEnd_->setEnabled(usable);
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(QPoint(5, 5))
                                                                     : event->globalPos();
    contextMenu_->popup(at);
    event->accept();
}

void HexView::GotoOffset(int offset) {
    editor_.GotoOffset(offset);
    ApplyEffects();
}

void HexView::GotoEnd() {
    GotoOffset(editor_.document().length() - 1);
}

void HexView::GotoAddr() {
    const int length = editor_.document().length();
    if (!prompts_ || length == 0) return;
    const QString prompt = QString::fromStdString(HexAddress::Prompt(length));
    const std::optional<QString> typed = prompts_->AskAddress(prompt);
    if (!typed) return;
    const AddressParse parse = HexAddress::Parse(typed->toLatin1().toStdString());
    for (int i = 0; i < parse.invalidCharacters; ++i)
        prompts_->ShowMessage(QStringLiteral("Not a vaild Hex Format"));
    if (parse.invalidCharacters == 0 && (parse.tooLong || parse.value >= std::uint32_t(length))) {
        prompts_->ShowMessage(QString("Address %1 is outside the data (0 to %2).")
                                  .arg(typed->trimmed().toUpper(), QString::number(length - 1, 16).toUpper()));
        return;
    }
    // A mistyped address goes nowhere rather than somewhere made up.
    if (const std::optional<int> target = HexAddress::Target(parse, length)) GotoOffset(*target);
}
