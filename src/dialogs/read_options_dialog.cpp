#include "dialogs/read_options_dialog.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "controls/icon_button.h"

namespace {

const QColor kPanelColour(230, 235, 245);

QFrame* Row(QWidget* parent, std::initializer_list<QWidget*> widgets) {
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(6, 2, 6, 2);
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch();
    return frame;
}

}  // namespace

ReadOptionsDialog::ReadOptionsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Read Options");
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, kPanelColour);
    setPalette(p);

    const char* labels[] = {"Read From", "Read From Begin", "Read From", "Read Whole Chip"};
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        modes_[i] = new QRadioButton(labels[i], this);
        group->addButton(modes_[i], i);
    }
    modes_[0]->setChecked(true);
    fromToStart_ = MakeEdit(1021);
    fromToEnd_ = MakeEdit(1022);
    fromBeginToEnd_ = MakeEdit(1025);
    fromToEndStart_ = MakeEdit(1027);

    auto* ok = FramedButton("OK");
    auto* cancel = FramedButton("Cancel");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    problem_ = new QLabel(this);
    problem_->setObjectName("problem");
    problem_->setWordWrap(true);
    QPalette warning = problem_->palette();
    warning.setColor(QPalette::WindowText, QColor(200, 0, 0));
    problem_->setPalette(warning);
    problem_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Row(this, {modes_[0], fromToStart_, new QLabel("To", this), fromToEnd_}));
    layout->addWidget(Row(this, {modes_[1], new QLabel("To", this), fromBeginToEnd_}));
    layout->addWidget(Row(this, {modes_[2], fromToEndStart_, new QLabel("To    End", this)}));
    layout->addWidget(Row(this, {modes_[3]}));
    layout->addWidget(problem_);
    layout->addLayout(buttons);
    resize(400, 210);
}

IconButton* ReadOptionsDialog::FramedButton(const QString& text) {
    auto* button = new IconButton(text, this);
    button->SetFlat(false);
    button->SetColour(IconButton::BackgroundNormal, kPanelColour);
    button->SetColour(IconButton::BackgroundFocused, kPanelColour);
    button->setMinimumSize(75, 28);
    return button;
}

QLineEdit* ReadOptionsDialog::MakeEdit(int id) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::number(id));
    edit->setFixedWidth(90);
    // Typed letters become capitals, as addresses are written.
    connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const int cursor = edit->cursorPosition();
        edit->setText(text.toUpper());
        edit->setCursorPosition(cursor);
    });
    return edit;
}

ReadOptions ReadOptionsDialog::options() const {
    ReadOptions o;
    for (int i = 0; i < 4; ++i)
        if (modes_[i]->isChecked()) o.mode = ReadRangeMode(i);
    o.fromToStart = fromToStart_->text();
    o.fromToEnd = fromToEnd_->text();
    o.fromBeginToEnd = fromBeginToEnd_->text();
    o.fromToEndStart = fromToEndStart_->text();
    return o;
}

void ReadOptionsDialog::SetOptions(const ReadOptions& options) {
    // Only the dialog's own rows can be offered again.
    if (options.mode != ReadRangeMode::Inclusive) modes_[int(options.mode)]->setChecked(true);
    fromToStart_->setText(options.fromToStart);
    fromToEnd_->setText(options.fromToEnd);
    fromBeginToEnd_->setText(options.fromBeginToEnd);
    fromToEndStart_->setText(options.fromToEndStart);
}

QString ReadOptionsDialog::problem() const { return problem_->text(); }

// The fields a mode reads, the one whose value the range check judges last.
std::vector<ReadOptionsDialog::Field> ReadOptionsDialog::FieldsOf(ReadRangeMode mode) const {
    switch (mode) {
        case ReadRangeMode::FromTo:
            return {{fromToStart_, "The start address of \"Read From ... To\""},
                    {fromToEnd_, "The end address of \"Read From ... To\""}};
        case ReadRangeMode::FromBeginTo:
            return {{fromBeginToEnd_, "The end address of \"Read From Begin To\""}};
        case ReadRangeMode::FromToEnd:
            return {{fromToEndStart_, "The start address of \"Read From ... To End\""}};
        case ReadRangeMode::WholeChip:
        case ReadRangeMode::Inclusive:  // the command line's; no row of the dialog
            break;
    }
    return {};
}

bool ReadOptionsDialog::Refuse(QLineEdit* edit, const QString& why) {
    problem_->setText(why);
    problem_->show();
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    return false;
}

void ReadOptionsDialog::accept() {
    const ReadOptions chosen = options();
    const std::vector<Field> fields = FieldsOf(chosen.mode);
    for (const Field& field : fields) {
        const QString text = field.edit->text();
        if (text.isEmpty()) return void(Refuse(field.edit, QString(field.name) + " is empty."));
        for (QChar c : text)
            if (hexDigitValue(c) < 0)
                return void(Refuse(field.edit, QString(field.name) + " is not a hexadecimal number."));
    }
    const ReadRangeCheck range = CheckReadRange(chosen);
    if (!range.accepted) return void(Refuse(fields.back().edit, range.refusal));
    QDialog::accept();
}
