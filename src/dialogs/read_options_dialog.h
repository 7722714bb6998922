#pragma once

#include <QDialog>

#include "image/read_range.h"

#include <vector>

class IconButton;
class QLabel;
class QLineEdit;
class QRadioButton;

// "Read Options": which addresses a read covers. Built anew for every read;
// whoever shows it may offer the options chosen last. OK checks the fields the
// chosen row uses and stays open, naming the field, while one is empty, not
// hexadecimal, or out of range. Escape is Cancel; Enter is OK.
class ReadOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReadOptionsDialog(QWidget* parent = nullptr);

    // The mode and texts as they stand.
    ReadOptions options() const;
    void SetOptions(const ReadOptions& options);
    // Why OK did not close the dialog; empty before that.
    QString problem() const;

    void accept() override;

    QRadioButton* modeButton(ReadRangeMode mode) const { return modes_[int(mode)]; }
    QLineEdit* fromToStartEdit() const { return fromToStart_; }
    QLineEdit* fromToEndEdit() const { return fromToEnd_; }
    QLineEdit* fromBeginToEndEdit() const { return fromBeginToEnd_; }
    QLineEdit* fromToEndStartEdit() const { return fromToEndStart_; }

private:
    struct Field {
        QLineEdit* edit;
        const char* name;
    };
    std::vector<Field> FieldsOf(ReadRangeMode mode) const;
    bool Refuse(QLineEdit* edit, const QString& why);

    QLineEdit* MakeEdit(int id);
    IconButton* FramedButton(const QString& text);

    QRadioButton* modes_[4] = {};
    QLineEdit* fromToStart_ = nullptr;
    QLineEdit* fromToEnd_ = nullptr;
    QLineEdit* fromBeginToEnd_ = nullptr;
    QLineEdit* fromToEndStart_ = nullptr;
    QLabel* problem_ = nullptr;
};
