#pragma once

#include <QDialog>

#include "image/read_range.h"

class IconButton;
class QLineEdit;
class QRadioButton;

// "Read Options": which addresses a read covers. Built anew for every read,
// so nothing typed is remembered. Escape does not close it; Enter is OK.
class ReadOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReadOptionsDialog(QWidget* parent = nullptr);

    // The mode and texts as they stand.
    ReadOptions options() const;

    QRadioButton* modeButton(ReadRangeMode mode) const { return modes_[int(mode)]; }
    QLineEdit* fromToStartEdit() const { return fromToStart_; }
    QLineEdit* fromToEndEdit() const { return fromToEnd_; }
    QLineEdit* fromBeginToEndEdit() const { return fromBeginToEnd_; }
    QLineEdit* fromToEndStartEdit() const { return fromToEndStart_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* MakeEdit(int id);
    IconButton* FramedButton(const QString& text);

    QRadioButton* modes_[4] = {};
    QLineEdit* fromToStart_ = nullptr;
    QLineEdit* fromToEnd_ = nullptr;
    QLineEdit* fromBeginToEnd_ = nullptr;
    QLineEdit* fromToEndStart_ = nullptr;
};
