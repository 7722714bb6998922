#include "dialogs/address_dialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The dialog is laid out in dialog units, a quarter of the font's average
// character width across and an eighth of its height down, so that it
// keeps its proportions with whatever font the desktop uses.
struct DialogUnits {
    double x;
    double y;
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const QString alphabet =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        x = metrics.horizontalAdvance(alphabet) / 52.0 / 4.0;
        y = metrics.height() / 8.0;
    }
    QRect Rect(int left, int top, int width, int height) const {
        return QRect(qRound(left * x), qRound(top * y), qRound(width * x), qRound(height * y));
    }
};

}  // namespace

AddressDialog::AddressDialog(const QString& prompt, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      label_(new QLabel(prompt, this)),
      edit_(new QLineEdit(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Input the Address Value"));
    label_->setTextFormat(Qt::PlainText);
    ok_->setDefault(true);
    cancel_->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(edit_, &QLineEdit::textEdited, this, &AddressDialog::UpperCase);
    PlaceControls();
    edit_->setFocus();
}

QString AddressDialog::prompt() const {
    return label_->text();
}

QString AddressDialog::address() const {
    return edit_->text();
}

void AddressDialog::PlaceControls() {
    const DialogUnits units(font());
    setFixedSize(units.Rect(0, 0, 143, 43).size());
    label_->setGeometry(units.Rect(7, 7, 78, 10));
    edit_->setGeometry(units.Rect(88, 5, 36, 12));
    ok_->setGeometry(units.Rect(18, 23, 50, 14));
    cancel_->setGeometry(units.Rect(76, 23, 50, 14));
    setTabOrder(edit_, ok_);
    setTabOrder(ok_, cancel_);
}

// Letters are taken in upper case as they are typed.
void AddressDialog::UpperCase(const QString& typed) {
    const QString upper = typed.toUpper();
    if (upper == typed) return;
    const int cursor = edit_->cursorPosition();
    edit_->setText(upper);
    edit_->setCursorPosition(cursor);
}
