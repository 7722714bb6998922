#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// "Input the Address Value": asks for the hex address a goto jumps to. The
// prompt comes in formatted; the typed address is read after OK.
class AddressDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddressDialog(const QString& prompt, QWidget* parent = nullptr);

    QString prompt() const;
    QString address() const;

    QLineEdit* addressEdit() const { return edit_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    void PlaceControls();
    void UpperCase(const QString& typed);

    QLabel* label_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};
