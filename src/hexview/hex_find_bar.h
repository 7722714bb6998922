#pragma once

#include <QByteArray>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

class HexView;
class QCheckBox;
class QLabel;
class QLineEdit;

// The find bar under a hex view: hex bytes or text, found forwards or
// backwards from the caret, wrapping at the ends. The match becomes the
// view's selection. Enter finds the next, Shift+Enter the previous, Esc
// closes the bar and gives the view the focus again.
class HexFindBar : public QWidget {
    Q_OBJECT
public:
    explicit HexFindBar(HexView* view, QWidget* parent = nullptr);

    // Shows the bar with its field focused and its text selected.
    void Open();
    bool FindNext() { return Find(true); }
    bool FindPrevious() { return Find(false); }
    QString statusText() const;
    QLineEdit* field() const { return text_; }
    QCheckBox* hexMode() const { return hex_; }

    // The bytes a typed text stands for: hex digit pairs (spaces allowed)
    // or the text's Latin-1 bytes; nothing for odd or non-hex digits.
    static std::optional<QByteArray> Needle(const QString& text, bool hex);
    // Where needle next occurs, starting at from and going the given way,
    // wrapping once round the data; -1 when nowhere.
    static int Search(const std::vector<std::uint8_t>& data, const QByteArray& needle, int from, bool forward);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Find(bool forward);

    HexView* view_;
    QLineEdit* text_ = nullptr;
    QCheckBox* hex_ = nullptr;
    QLabel* status_ = nullptr;
};
