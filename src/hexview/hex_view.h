#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

// The hex view. It keeps its own copy of the data it is given: nothing typed
// into it flows back into the image buffer.
class HexView : public QWidget {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);

    void SetData(const std::uint8_t* data, std::size_t length);
    // 8, 16 or 32 bits per displayed unit.
    void SetDisplayWidth(int bits);

    const std::vector<std::uint8_t>& data() const { return data_; }
    int displayWidth() const { return displayWidth_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::uint8_t> data_;
    int displayWidth_ = 8;
};
