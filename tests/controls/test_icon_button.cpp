#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

#include "controls/icon_button.h"

namespace {

const QColor kNormal(10, 20, 30);
const QColor kActive(200, 210, 90);
const QColor kFocused(40, 160, 60);
const QColor kTextNormal(0, 0, 255);
const QColor kTextActive(255, 0, 0);

// A button in an active window of its own, so that hover can happen.
struct ButtonRig {
    QWidget window;
    QPushButton* other;
    IconButton* button;

    explicit ButtonRig(const QString& text = "Exit", bool flat = true) {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(20, 20, 20, 20);
        other = new QPushButton("other", &window);
        button = new IconButton(text, &window);
        layout->addWidget(other);
        layout->addWidget(button);
        button->setFixedSize(100, 28);
        QFont bold = button->font();
        bold.setPixelSize(14);
        bold.setBold(true);
        button->setFont(bold);
        button->SetIcon(":/icons/exit.png");
        button->SetFlat(flat);
        button->SetColour(IconButton::BackgroundNormal, kNormal);
        button->SetColour(IconButton::BackgroundActive, kActive);
        button->SetColour(IconButton::BackgroundFocused, kFocused);
        button->SetColour(IconButton::TextNormal, kTextNormal);
        button->SetColour(IconButton::TextActive, kTextActive);
        other->setFocus();
        // Away from the pointer, so that nothing is hovered until a test says so.
        QCursor::setPos(0, 0);
        window.move(300, 300);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QImage Grab() { return button->grab().toImage(); }
    QColor At(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }
    QPoint centre() const { return button->rect().center(); }
    void Hover(QPoint offset = {}) { QTest::mouseMove(button, centre() + offset); }
    // What the window system sends when the pointer moves off the button.
    void Leave() {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
    }
    QColor Palette(QPalette::ColorRole role) const {
        return QColor(button->palette().color(role).rgb());
    }
};

int CountPixels(const QImage& image, const QRect& area, const QColor& colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixel(x, y) == colour.rgb();
    return count;
}

int CountReddish(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 150 && c.green() < 90 && c.blue() < 90;
        }
    return count;
}

const QRect kIconArea(3, 6, 16, 16);
const QRect kTextArea(20, 0, 80, 28);

}  // namespace

TEST(IconButton, RefusesColourSlotsOutsideTheSix) {
    IconButton button("Open");
    EXPECT_FALSE(button.SetColour(6, Qt::red));
    EXPECT_FALSE(button.SetColour(-1, Qt::red));
    EXPECT_TRUE(button.SetColour(5, Qt::red));
    EXPECT_EQ(button.colour(5), QColor(Qt::red));
}

TEST(IconButton, NormalFlatButtonHasNoEdgeAndNormalColours) {
    ButtonRig rig;
    const QImage image = rig.Grab();
    EXPECT_EQ(rig.At(image, 0, 0), kNormal);
    EXPECT_EQ(rig.At(image, 99, 27), kNormal);
    EXPECT_GT(CountPixels(image, kTextArea, kTextNormal), 0);
    EXPECT_EQ(CountPixels(image, kTextArea, kTextActive), 0);
    EXPECT_GT(CountReddish(image, kIconArea), 10);
}

TEST(IconButton, HoverShowsTheActiveColoursAndARaisedEdge) {
    ButtonRig rig;
    rig.Hover();
    ASSERT_TRUE(rig.button->hovered());
    const QImage image = rig.Grab();
    EXPECT_EQ(rig.At(image, 5, 2), kActive);
    EXPECT_EQ(rig.At(image, 0, 0), rig.Palette(QPalette::Light));
    EXPECT_EQ(rig.At(image, 99, 27), rig.Palette(QPalette::Dark));
    EXPECT_GT(CountPixels(image, kTextArea, kTextActive), 0);
    EXPECT_EQ(CountPixels(image, kTextArea, kTextNormal), 0);
}

TEST(IconButton, LeavingEndsTheHover) {
    ButtonRig rig;
    rig.Hover();
    ASSERT_TRUE(rig.button->hovered());
    rig.Leave();
    EXPECT_FALSE(rig.button->hovered());
    EXPECT_EQ(rig.At(rig.Grab(), 5, 2), kNormal);
}

TEST(IconButton, PressingSinksTheEdgeAndShiftsIconAndTextByOnePixel) {
    ButtonRig rig;
    rig.button->SetColour(IconButton::TextNormal, kTextActive);
    rig.Hover();
    const QImage hovered = rig.Grab();
    QTest::mousePress(rig.button, Qt::LeftButton, {}, rig.centre());
    ASSERT_TRUE(rig.button->isDown());
    const QImage pressed = rig.Grab();
    EXPECT_EQ(rig.At(pressed, 0, 0), rig.Palette(QPalette::Dark));
    EXPECT_EQ(rig.At(pressed, 99, 27), rig.Palette(QPalette::Light));
    // Inside the edges, the pressed picture is the hovered one moved right and down.
    const QRect inside(1, 1, 97, 25);
    EXPECT_EQ(pressed.copy(inside.translated(1, 1)), hovered.copy(inside));
    EXPECT_NE(pressed.copy(inside), hovered.copy(inside));
    QTest::mouseRelease(rig.button, Qt::LeftButton, {}, rig.centre());
    EXPECT_EQ(rig.Grab().copy(inside), hovered.copy(inside));
}

// The focus shows as a dotted mark inside the edge, which hovering never draws.
TEST(IconButton, FocusedButtonUsesTheFocusBackgroundAndADottedMark) {
    ButtonRig rig;
    const auto markPixels = [&](const QImage& image) {
        int marked = 0;
        for (int x = 2; x < 98; ++x) marked += rig.At(image, x, IconButton::kFlatFocusInset) == kTextNormal;
        return marked;
    };
    rig.Hover();
    const QImage hovered = rig.Grab();
    EXPECT_EQ(markPixels(hovered), 0);
    rig.Leave();
    rig.button->setFocus();
    ASSERT_TRUE(rig.button->hasFocus());
    const QImage image = rig.Grab();
    EXPECT_EQ(rig.At(image, 0, 0), kFocused);
    EXPECT_EQ(rig.At(image, 1, 1), kFocused);
    EXPECT_GT(markPixels(image), 20);
    EXPECT_NE(image, hovered);
    rig.other->setFocus();
    QTest::mouseClick(rig.button, Qt::LeftButton, {}, rig.centre());
    ASSERT_TRUE(rig.button->hasFocus());
    EXPECT_EQ(markPixels(rig.Grab()), 0) << "a click shows where the pointer is already";
}

TEST(IconButton, DisabledButtonGreysItsIconAndEmbossesItsText) {
    ButtonRig rig;
    rig.Hover();
    rig.button->setEnabled(false);
    EXPECT_FALSE(rig.button->hovered());
    const QImage image = rig.Grab();
    EXPECT_EQ(CountReddish(image, kIconArea), 0);
    EXPECT_EQ(CountPixels(image, kTextArea, kTextNormal), 0);
    EXPECT_GT(CountPixels(image, kTextArea, rig.Palette(QPalette::Dark)), 0);
    EXPECT_GT(CountPixels(image, kTextArea, rig.Palette(QPalette::Light)), 0);
}

TEST(IconButton, LosingTheFocusOrTheWindowEndsTheHover) {
    ButtonRig rig;
    rig.Hover();
    rig.button->setFocus();
    rig.other->setFocus();
    EXPECT_FALSE(rig.button->hovered());
    rig.Hover(QPoint(3, 0));
    ASSERT_TRUE(rig.button->hovered());
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    EXPECT_FALSE(rig.button->hovered());
}

TEST(IconButton, FramedButtonHasAThreeDimensionalEdgeAndNeverHovers) {
    ButtonRig rig("OK", false);
    rig.Hover();
    EXPECT_FALSE(rig.button->hovered());
    const QImage image = rig.Grab();
    EXPECT_EQ(rig.At(image, 0, 0), rig.Palette(QPalette::Light));
    EXPECT_EQ(rig.At(image, 1, 1), rig.Palette(QPalette::Midlight));
    EXPECT_EQ(rig.At(image, 99, 27), rig.Palette(QPalette::Shadow));
    EXPECT_EQ(rig.At(image, 98, 26), rig.Palette(QPalette::Dark));
    EXPECT_EQ(rig.At(image, 5, 2), kNormal);
}

TEST(IconButton, FramedDefaultOrFocusedButtonGetsABlackFrame) {
    ButtonRig rig("OK", false);
    rig.button->setDefault(true);
    QImage image = rig.Grab();
    EXPECT_EQ(rig.At(image, 0, 0), QColor(Qt::black));
    EXPECT_EQ(rig.At(image, 1, 1), rig.Palette(QPalette::Light));

    rig.button->setDefault(false);
    rig.button->setFocus();
    image = rig.Grab();
    EXPECT_EQ(rig.At(image, 0, 0), QColor(Qt::black));
    EXPECT_EQ(rig.At(image, 2, 2), rig.Palette(QPalette::Midlight));
    // The dotted focus rectangle runs 3 pixels inside the edge.
    const QRect focus(4, 4, 92, 20);
    EXPECT_GT(CountPixels(image, QRect(focus.left(), focus.top(), 40, 1),
                          rig.Palette(QPalette::ButtonText)),
              5);
}

TEST(IconButton, FramedButtonPressedShowsAShadowFrame) {
    ButtonRig rig("OK", false);
    QTest::mousePress(rig.button, Qt::LeftButton, {}, rig.centre());
    const QImage image = rig.Grab();
    // Pressing gave it the focus: black frame, then the shadow frame inside it.
    EXPECT_EQ(rig.At(image, 0, 0), QColor(Qt::black));
    EXPECT_EQ(rig.At(image, 1, 1), rig.Palette(QPalette::Dark));
    EXPECT_EQ(rig.At(image, 98, 26), rig.Palette(QPalette::Dark));
    QTest::mouseRelease(rig.button, Qt::LeftButton, {}, rig.centre());
}

TEST(IconButton, ADoubleClickCountsAsAClick) {
    ButtonRig rig;
    int clicks = 0;
    QObject::connect(rig.button, &QPushButton::clicked, [&] { ++clicks; });
    // The window system's order: press, release, double click, release.
    QTest::mouseClick(rig.button, Qt::LeftButton, {}, rig.centre());
    QTest::mouseDClick(rig.button, Qt::LeftButton, {}, rig.centre());
    QTest::mouseRelease(rig.button, Qt::LeftButton, {}, rig.centre());
    EXPECT_EQ(clicks, 2);
    EXPECT_TRUE(rig.button->hasFocus());
}
