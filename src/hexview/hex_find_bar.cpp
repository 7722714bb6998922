#include "hexview/hex_find_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cctype>

#include "hexview/hex_view.h"

HexFindBar::HexFindBar(HexView* view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName("FindBar");
    text_ = new QLineEdit(this);
    text_->setAccessibleName("Find");
    text_->setPlaceholderText("Find bytes (hex) or text");
    hex_ = new QCheckBox("He&x", this);
    hex_->setChecked(true);
    auto* previous = new QPushButton("Previous", this);
    auto* next = new QPushButton("Next", this);
    auto* close = new QPushButton("Close", this);
    for (QPushButton* button : {previous, next, close}) button->setAutoDefault(false);
    status_ = new QLabel(this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 2, 0, 0);
    row->addWidget(new QLabel("Find:", this));
    row->addWidget(text_, 1);
    row->addWidget(hex_);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(status_);
    row->addWidget(close);
    connect(previous, &QPushButton::clicked, this, &HexFindBar::FindPrevious);
    connect(next, &QPushButton::clicked, this, &HexFindBar::FindNext);
    connect(close, &QPushButton::clicked, this, [this] {
        hide();
        view_->setFocus(Qt::OtherFocusReason);
    });
    text_->installEventFilter(this);
    hide();
}

// Esc and Enter in the field belong to the bar, not to the window's
// shortcuts (Esc there stops a running job).
bool HexFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) event->accept();
    }
    return QWidget::eventFilter(watched, event);
}

void HexFindBar::Open() {
    show();
    text_->setFocus(Qt::ShortcutFocusReason);
    text_->selectAll();
}

QString HexFindBar::statusText() const { return status_->text(); }

void HexFindBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        view_->setFocus(Qt::OtherFocusReason);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Find(!(event->modifiers() & Qt::ShiftModifier));
    } else {
        QWidget::keyPressEvent(event);
    }
}

std::optional<QByteArray> HexFindBar::Needle(const QString& text, bool hex) {
    if (!hex) return text.toLatin1();
    QByteArray digits = text.toLatin1();
    digits.replace(' ', QByteArray());
    const bool allHex = std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit((unsigned char)c); });
    if (!allHex || digits.size() % 2 != 0) return std::nullopt;
    return QByteArray::fromHex(digits);
}

int HexFindBar::Search(const std::vector<std::uint8_t>& data, const QByteArray& needle, int from, bool forward) {
    const auto size = int(data.size());
    const auto n = int(needle.size());
    if (n == 0 || n > size) return -1;
    const auto* wanted = reinterpret_cast<const std::uint8_t*>(needle.constData());
    const auto matchAt = [&](int at) { return std::equal(wanted, wanted + n, data.begin() + at); };
    const int last = size - n;
    // Every start is tried once, beginning at from and going round.
    for (int step = 0; step <= last; ++step) {
        const int at = forward ? (from + step) % (last + 1) : ((from - step) % (last + 1) + last + 1) % (last + 1);
        if (matchAt(at)) return at;
    }
    return -1;
}

// The search starts one byte past the caret (or the match selected), so
// that Enter steps from one match to the next.
bool HexFindBar::Find(bool forward) {
    const std::optional<QByteArray> needle = Needle(text_->text(), hex_->isChecked());
    if (!needle) {
        status_->setText("Not hex bytes");
        return false;
    }
    const HexCaret& caret = view_->editor().caret();
    const int here = caret.HasSelection() ? caret.SelectionLow() : view_->caretOffset();
    const int last = int(view_->data().size()) - int(needle->size());
    const int from = forward ? (caret.HasSelection() ? here + 1 : here) : here - 1;
    const int start = (from < 0 || from > last) ? (forward ? 0 : last) : from;
    const int found = last < 0 ? -1 : Search(view_->data(), *needle, start, forward);
    if (found < 0) {
        status_->setText(needle->isEmpty() ? QString() : "Not found");
        return false;
    }
    const bool wrapped = forward ? found < here : found > here;
    status_->setText(wrapped ? "Wrapped" : QString());
    view_->SelectRange(found, found + int(needle->size()));
    return true;
}
