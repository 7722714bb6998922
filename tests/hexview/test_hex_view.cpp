#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <thread>

#include "hexview/hex_clipboard.h"
#include "hexview/hex_format.h"
#include "hexview/hex_find_bar.h"
#include "hexview/hex_frame_painter.h"
#include "hexview/hex_view.h"
#include "support/event_loop.h"
#include "support/hex_editor_rig.h"
#include "support/scripted_prompts.h"

namespace {

// A real view at the panel's size, driven by events as a user would.
struct ViewRig {
    HexView view;

    explicit ViewRig(int count = -1) {
        view.resize(608, 246);
        if (count >= 0) Load(CountingBytes(count));
    }
    void Load(const std::vector<std::uint8_t>& bytes) { view.SetData(bytes.data(), bytes.size()); }
    int cw() const { return view.editor().layout().charWidth(); }
    int lh() const { return view.editor().layout().lineHeight(); }
    // Middle of a character cell in a window row.
    QPoint Cell(int cell, int row) const {
        return QPoint(cell * cw() + cw() / 2, row * lh() + lh() / 2);
    }
    const HexCaret& caret() const { return view.editor().caret(); }
    void Click(int cell, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(&view, Qt::LeftButton, mods, Cell(cell, row));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(&view, key, mods);
    }
    void MoveHeld(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
    }
    // Shift+arrow presses; each one steps a hex digit or a character.
    void ShiftSteps(Qt::Key key, int count) {
        for (int i = 0; i < count; ++i) Key(key, Qt::ShiftModifier);
    }
    std::vector<std::uint8_t> Bytes() const { return view.data(); }
    void Wheel(int delta) {
        const QPointF at(20, 20);
        QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
    }
};

TEST(HexViewFont, CellsAreEightPixelsWideAndRowsFitTheView) {
    ViewRig rig(1000);
    EXPECT_EQ(rig.cw(), 8);
    EXPECT_GT(rig.lh(), 11);
    EXPECT_EQ(rig.view.editor().layout().linesPerPage(), 246 / rig.lh());
    EXPECT_LE(73 * rig.cw(), rig.view.clientRect().width()) << "a whole row fits beside the bar";
}

namespace {

QImage Glyph(const QFont& font, QChar c, qreal scale) {
    QImage image((QSizeF(10, 16) * scale).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.drawText(QPointF(1, QFontMetricsF(font).ascent()), QString(c));
    return image;
}

}  // namespace

TEST(HexViewFont, IsSmoothedAndTellsBFrom8AndDFrom0) {
    HexView view;
    const QFont& font = view.viewFont();
    EXPECT_TRUE(font.fixedPitch());
    EXPECT_FALSE(font.styleStrategy() & QFont::NoAntialias);
    for (qreal scale : {1.0, 1.5}) {
        EXPECT_NE(Glyph(font, 'B', scale), Glyph(font, '8', scale)) << scale;
        EXPECT_NE(Glyph(font, 'D', scale), Glyph(font, '0', scale)) << scale;
    }
}

TEST(HexViewKeys, TypingHexDigitsOverwritesAByte) {
    ViewRig rig;
    rig.Load({0x12, 0x34});
    QTest::keyClicks(&rig.view, "a5");
    EXPECT_EQ(rig.view.data()[0], 0xA5);
    EXPECT_EQ(rig.caret().caretOffset(), 1);
    EXPECT_EQ(rig.caret().caretArea(), AreaHexHigh);
}

TEST(HexViewKeys, ShiftRightTwiceSelectsTwoBytes) {
    ViewRig rig(64);
    rig.Click(9 + 3 * 4, 0);
    rig.Key(Qt::Key_Right, Qt::ShiftModifier);
    rig.Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(rig.caret().selAnchor(), 4);
    EXPECT_EQ(rig.caret().selEnd(), 6);
    EXPECT_EQ(rig.caret().caretOffset(), 5);
}

TEST(HexViewKeys, TabMovesBetweenColumnsAndKeepsTheFocusAndItsCaret) {
    QWidget window;
    auto* view = new HexView(&window);
    auto* next = new QLineEdit(&window);
    next->move(0, 260);
    window.resize(620, 300);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const std::vector<std::uint8_t> bytes = CountingBytes(32);
    view->SetData(bytes.data(), bytes.size());
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(view->editor().caret().caretArea(), AreaText);
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(view->editor().caret().caretArea(), AreaHexHigh);
    EXPECT_TRUE(view->hasFocus());
    EXPECT_TRUE(view->editor().caret().caretShown());
    next->setFocus();
    EXPECT_FALSE(view->editor().caret().caretShown()) << "the caret goes with the focus";
}

// A click on byte 15's digits, found in the row as drawn, and typing there
// change byte 15 at every width.
TEST(HexViewKeys, ClicksAndTypingLandOnTheByteDrawnUnderThePointerAtEveryWidth) {
    for (int width : {8, 16, 32}) {
        ViewRig rig(32);
        rig.view.SetDisplayWidth(width);
        std::vector<std::uint8_t> bytes = CountingBytes(32);
        const int cell = 9 + int(HexFormat::HexLine({bytes.data(), 32, 0, 16}, width).find("0F"));
        rig.Click(cell, 0);
        EXPECT_EQ(rig.caret().caretX(), cell * rig.cw()) << width;
        QTest::keyClicks(&rig.view, "ab");
        bytes[15] = 0xAB;
        EXPECT_EQ(rig.Bytes(), bytes) << width;
    }
}

TEST(HexViewKeys, ADisabledViewTakesNoInput) {
    ViewRig rig(16);
    rig.view.setEnabled(false);
    QTest::keyClicks(&rig.view, "ff");
    rig.Key(Qt::Key_Delete);
    EXPECT_EQ(rig.view.data(), CountingBytes(16));
}

TEST(HexViewMouse, DraggingSelectsFromThePressToThePointer) {
    ViewRig rig(64);
    QTest::mousePress(&rig.view, Qt::LeftButton, Qt::NoModifier, rig.Cell(9 + 3 * 2, 0));
    rig.MoveHeld(rig.Cell(9 + 3 * 5, 0));
    QTest::mouseRelease(&rig.view, Qt::LeftButton, Qt::NoModifier, rig.Cell(9 + 3 * 5, 0));
    EXPECT_EQ(rig.caret().selAnchor(), 2);
    EXPECT_EQ(rig.caret().selEnd(), 6);
    EXPECT_FALSE(rig.caret().caretShown());
    rig.Click(9, 1);
    EXPECT_FALSE(rig.caret().HasSelection()) << "a plain click clears the selection";
    EXPECT_EQ(rig.caret().caretOffset(), 16);
}

TEST(HexViewMouse, AWheelNotchScrollsOneRowAndCarriesTheCaret) {
    ViewRig rig(4096);
    rig.Click(9 + 3 * 2, 1);
    rig.Wheel(-120);
    EXPECT_EQ(rig.caret().topOffset(), 16);
    EXPECT_EQ(rig.caret().caretOffset(), 34);
    EXPECT_EQ(rig.view.scrollBar()->value(), 1);
    rig.Wheel(-1);
    EXPECT_EQ(rig.caret().topOffset(), 32) << "one row per message, whatever the delta";
    rig.Wheel(360);
    EXPECT_EQ(rig.caret().topOffset(), 16);
    EXPECT_EQ(rig.caret().caretOffset(), 34);
}

TEST(HexViewScrollBar, RangeFollowsTheDataAndDraggingTheThumbScrolls) {
    ViewRig rig(4096);
    const int page = rig.view.editor().layout().linesPerPage();
    QScrollBar* bar = rig.view.scrollBar();
    EXPECT_EQ(bar->maximum(), 256 - page);
    EXPECT_EQ(bar->pageStep(), page);
    EXPECT_TRUE(bar->isEnabled());
    bar->setSliderDown(true);
    bar->setSliderPosition(10);
    bar->setSliderDown(false);
    EXPECT_EQ(rig.caret().topOffset(), 160);
    EXPECT_EQ(rig.caret().caretOffset(), 160) << "the caret travels with the rows";
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(rig.caret().topOffset(), 176);
    EXPECT_EQ(bar->value(), 11);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(rig.caret().topOffset(), 176) << "the bar's ends move nothing";
    EXPECT_EQ(bar->value(), 11);
}

TEST(HexViewData, AHandOverFromAWorkerIsAppliedOnTheInterfaceThread) {
    ViewRig rig(4);
    const std::vector<std::uint8_t> bytes = CountingBytes(100);
    std::thread worker([&] { rig.view.SetData(bytes.data(), bytes.size()); });
    worker.join();
    EXPECT_EQ(rig.view.data().size(), 4u) << "nothing changes under the interface thread";
    ASSERT_TRUE(RunUntil([&] { return rig.view.data().size() == 100; }));
    EXPECT_EQ(rig.view.data(), bytes);
}

// ---- the painted frame --------------------------------------------------------

class HexViewImage : public ::testing::Test {
protected:
    ViewRig rig{16};
    QImage Grab() { return rig.view.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QImage CellImage(const QImage& image, int cell, int row) {
        return image.copy(cell * rig.cw(), row * rig.lh(), rig.cw(), rig.lh());
    }
    bool Has(const QImage& cell, QColor colour) {
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                if (cell.pixelColor(x, y) == colour) return true;
        return false;
    }
    QColor highlight() const {
        return rig.view.palette().color(QPalette::Active, QPalette::Highlight);
    }
};

TEST_F(HexViewImage, TheAddressIsEightZerosInTheTextColour) {
    const QImage image = Grab();
    const QImage zero = CellImage(image, 9, 0);  // high digit of byte 00
    EXPECT_TRUE(Has(zero, HexFramePainter::TextColour()));
    for (int cell = 0; cell < 8; ++cell) EXPECT_EQ(CellImage(image, cell, 0), zero) << cell;
    EXPECT_FALSE(Has(CellImage(image, 8, 0), HexFramePainter::TextColour()));
    for (int cell = 0; cell < 73; ++cell)
        EXPECT_FALSE(Has(CellImage(image, cell, 1), HexFramePainter::TextColour()))
            << "the row below the data is blank";
}

TEST_F(HexViewImage, TheSelectionIsHighlightedInTheCaretsColumnOnly) {
    rig.Key(Qt::Key_Tab);
    rig.Click(57 + 3, 0);
    for (int i = 0; i < 3; ++i) rig.Key(Qt::Key_Right, Qt::ShiftModifier);
    QImage image = Grab();
    for (int byte = 0; byte < 16; ++byte) {
        const bool selected = byte >= 3 && byte <= 5;
        EXPECT_EQ(Has(CellImage(image, 57 + byte, 0), highlight()), selected) << "text " << byte;
        EXPECT_FALSE(Has(CellImage(image, 9 + 3 * byte, 0), highlight())) << "hex " << byte;
    }
    rig.Key(Qt::Key_Tab);
    rig.view.Redraw();
    image = Grab();
    for (int byte = 0; byte < 16; ++byte) {
        const bool selected = byte >= 3 && byte <= 5;
        EXPECT_EQ(Has(CellImage(image, 9 + 3 * byte, 0), highlight()), selected) << "hex " << byte;
        EXPECT_FALSE(Has(CellImage(image, 57 + byte, 0), highlight())) << "text " << byte;
    }
}

TEST_F(HexViewImage, AnEmptyCopyIsWhite) {
    for (int i = 0; i < 16; ++i) rig.Key(Qt::Key_Delete);
    ASSERT_TRUE(rig.view.data().empty());
    const QImage image = Grab().copy(rig.view.clientRect());
    QImage white(image.size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_EQ(image, white);
}

// ---- clipboard ------------------------------------------------------------------

QByteArray ClipboardBinary() {
    return QGuiApplication::clipboard()->mimeData()->data(HexClipboard::BinaryDataMime());
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (int v : values) bytes.push_back(std::uint8_t(v));
    return bytes;
}

TEST(HexViewClipboard, CopyFromTheHexAreaThenPasteInsertsTheRawBytes) {
    ViewRig rig;
    rig.Load(Bytes({0x00, 0xFF, 0x41, 7, 8, 9}));
    rig.ShiftSteps(Qt::Key_Right, 4);
    ASSERT_EQ(rig.caret().selEnd(), 3);
    rig.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ClipboardBinary(), QByteArray("\x00\xFF\x41", 3));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("00 FF 41 "));
    rig.Click(9 + 3 * 5, 0);
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes(), Bytes({0x00, 0xFF, 0x41, 7, 8, 0x00, 0xFF, 0x41, 9}));
    EXPECT_EQ(rig.caret().caretOffset(), 5) << "the caret stays in front of the pasted bytes";
}

// Ctrl+Shift+End in the text column takes in the last byte; plain text
// pastes over the selection as the bytes it holds, not re-encoded.
TEST(HexViewClipboard, TheTextColumnCopiesTheLastByteAndPlainTextPastesItsBytes) {
    ViewRig rig;
    rig.Load(Bytes({0x41, 0x42, 0x43}));
    rig.Click(57, 0);
    rig.Key(Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
    rig.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ClipboardBinary(), QByteArray("ABC"));
    auto* text = new QMimeData;
    text->setData("text/plain", QByteArray("\xE9\x00\xFF", 3));
    QGuiApplication::clipboard()->setMimeData(text);
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes(), Bytes({0xE9, 0x00, 0xFF}));
}

TEST(HexViewClipboard, CopyFromTheTextColumnGivesCharacters) {
    ViewRig rig;
    rig.Load(Bytes({0x00, 0xFF, 0x41, 7}));
    rig.Click(57, 0);
    rig.ShiftSteps(Qt::Key_Right, 3);
    rig.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("..A"));
}

TEST(HexViewClipboard, PasteOnTheLowDigitGoesAfterTheByteAndOnTheHighDigitBefore) {
    const std::uint8_t pasted[] = {0xAA};
    for (bool low : {true, false}) {
        ViewRig rig(16);
        HexClipboard::Place(pasted, 1, false);
        rig.Click(9 + 3 * 7 + (low ? 1 : 0), 0);
        rig.Key(Qt::Key_V, Qt::ControlModifier);
        ASSERT_EQ(rig.Bytes().size(), 17u);
        EXPECT_EQ(rig.Bytes()[low ? 8 : 7], 0xAA) << (low ? "low" : "high");
        EXPECT_EQ(rig.Bytes()[low ? 7 : 8], 7) << (low ? "low" : "high");
        EXPECT_EQ(rig.caret().caretOffset(), 7);
    }
}

TEST(HexViewClipboard, PasteReplacesASelectionMadeInEitherDirection) {
    const std::uint8_t pasted[] = {0xAA, 0xBB, 0xCC};
    for (bool backwards : {false, true}) {
        ViewRig rig(16);
        HexClipboard::Place(pasted, 3, false);
        rig.Click(9 + 3 * (backwards ? 6 : 2), 0);
        rig.ShiftSteps(backwards ? Qt::Key_Left : Qt::Key_Right, backwards ? 8 : 6);
        rig.Key(Qt::Key_V, Qt::ControlModifier);
        const std::vector<std::uint8_t> bytes = rig.Bytes();
        ASSERT_EQ(bytes.size(), 15u) << (backwards ? "backwards" : "forwards");
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 1, bytes.begin() + 6),
                  Bytes({1, 0xAA, 0xBB, 0xCC, 6}));
        EXPECT_FALSE(rig.caret().HasSelection());
    }
}

TEST(HexViewClipboard, CutLeavesTheBytesOnTheClipboardAndUndoBringsThemBack) {
    ViewRig rig(16);
    rig.Click(9 + 3 * 2, 0);
    rig.ShiftSteps(Qt::Key_Right, 6);
    rig.Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(ClipboardBinary(), QByteArray("\x02\x03\x04\x05", 4));
    EXPECT_EQ(rig.Bytes().size(), 12u);
    EXPECT_EQ(rig.Bytes()[2], 6);
    rig.Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes(), CountingBytes(16));
    rig.Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes().size(), 12u);
}

// A typed byte and a paste, taken back newest first and made again with
// either redo key; a new edit drops what was undone.
TEST(HexViewUndo, TypedBytesAndPastesUndoAndRedoInOrder) {
    const std::uint8_t pasted[] = {0xAA, 0xBB};
    ViewRig rig(8);
    QTest::keyClicks(&rig.view, "5a");
    HexClipboard::Place(pasted, 2, false);
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    const std::vector<std::uint8_t> edited = rig.Bytes();
    ASSERT_EQ(edited.size(), 10u);
    EXPECT_TRUE(rig.view.editor().document().edited(1));
    EXPECT_FALSE(rig.view.editor().document().edited(4));
    rig.Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes(), Bytes({0x5A, 1, 2, 3, 4, 5, 6, 7}));
    rig.Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes(), CountingBytes(8)) << "both digits of a byte are one step";
    rig.Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes(), CountingBytes(8));
    rig.Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    rig.Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes(), edited);
    rig.Key(Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClicks(&rig.view, "f");
    rig.Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes().size(), 8u) << "nothing to redo after a new edit";
}

TEST(HexViewClipboard, AWholeImageCopiesAndPastes) {
    std::vector<std::uint8_t> image = CountingBytes(4 * 1024 * 1024);
    ViewRig rig;
    rig.Load(image);
    rig.view.SelectAll();
    rig.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ClipboardBinary().size(), qsizetype(image.size()));
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("text/plain").size(),
              qsizetype(3 * image.size()));
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(rig.Bytes().size(), image.size()) << "the selection is replaced by itself";
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(rig.Bytes().size(), 2 * image.size());
    EXPECT_EQ(rig.Bytes()[image.size() + 255], 255);
}

// ---- context menu and goto ---------------------------------------------------------

struct GotoRig : ViewRig {
    ScriptedPrompts prompts;
    GotoRig() : ViewRig() {
        view.resize(608, 15 * lh());  // 15 rows a page
        view.SetPrompts(&prompts);
        Load(CountingBytes(1000));
    }
    QMenu* OpenMenu(QContextMenuEvent::Reason reason, QPoint at = QPoint(40, 30)) {
        QContextMenuEvent event(reason, at, view.mapToGlobal(at));
        QApplication::sendEvent(&view, &event);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
};

TEST(HexViewGoto, TypedAddressesMoveTheCaretOrSayTheyAreOutside) {
    GotoRig rig;
    rig.prompts.addressAnswers = {QStringLiteral("100"), QStringLiteral("FFFF")};
    rig.view.GotoAddr();
    EXPECT_EQ(rig.prompts.addressPrompts, QStringList{"Address:(0 To 3E7)"});
    EXPECT_EQ(rig.caret().caretOffset(), 0x100);
    rig.view.GotoAddr();
    EXPECT_EQ(rig.caret().caretOffset(), 0x100) << "an address past the end goes nowhere";
    EXPECT_EQ(rig.prompts.messages, QStringList{"Address FFFF is outside the data (0 to 3E7)."});
}

TEST(HexViewGoto, ABadCharacterGivesOneBoxAndNoJumpAndCancelDoesNothing) {
    GotoRig rig;
    rig.prompts.addressAnswers = {QStringLiteral("1G2"), std::nullopt};
    rig.view.GotoAddr();
    EXPECT_EQ(rig.prompts.messages, QStringList{"Not a vaild Hex Format"});
    EXPECT_EQ(rig.caret().caretOffset(), 0);
    rig.view.GotoAddr();
    EXPECT_EQ(rig.caret().caretOffset(), 0);
    EXPECT_EQ(rig.prompts.addressPrompts.size(), 2);
}

TEST(HexViewGoto, GotoEndShowsTheLastPageAndMovesTheBar) {
    GotoRig rig;
    ASSERT_EQ(rig.view.editor().layout().linesPerPage(), 15);
    QMenu* menu = rig.OpenMenu(QContextMenuEvent::Mouse);
    ASSERT_NE(menu, nullptr);
    menu->actions().at(1)->trigger();
    menu->close();
    EXPECT_EQ(rig.caret().caretOffset(), 999);
    EXPECT_EQ(rig.caret().topOffset(), 760);
    EXPECT_EQ(rig.view.scrollBar()->value(), 47);
}

TEST(HexViewMenu, OpensAtTheClickOrFivePixelsIntoTheCorner) {
    GotoRig rig;
    QMenu* menu = rig.OpenMenu(QContextMenuEvent::Mouse, QPoint(100, 40));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("HexEdit"));
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions().at(0)->text(), QStringLiteral("Goto Addr"));
    EXPECT_EQ(menu->actions().at(1)->text(), QStringLiteral("Goto End"));
    EXPECT_EQ(menu->pos(), rig.view.mapToGlobal(QPoint(100, 40)));
    menu->close();
    menu = rig.OpenMenu(QContextMenuEvent::Keyboard);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->pos(), rig.view.mapToGlobal(QPoint(5, 5)));
    menu->close();
}

TEST(HexViewMenu, GotoItemsAreGreyedWithoutBytesAndInTheWiderWidths) {
    GotoRig rig;
    const auto enabled = [&rig] {
        QMenu* menu = rig.OpenMenu(QContextMenuEvent::Keyboard);
        const bool both = menu->actions().at(0)->isEnabled() && menu->actions().at(1)->isEnabled();
        const bool either =
            menu->actions().at(0)->isEnabled() || menu->actions().at(1)->isEnabled();
        menu->close();
        EXPECT_EQ(both, either);
        return both;
    };
    EXPECT_TRUE(enabled());
    rig.view.SetDisplayWidth(16);
    EXPECT_FALSE(enabled());
    rig.view.SetDisplayWidth(32);
    EXPECT_FALSE(enabled());
    rig.view.SetDisplayWidth(8);
    rig.view.SelectAll();
    rig.Key(Qt::Key_Delete);
    ASSERT_TRUE(rig.view.data().empty());
    EXPECT_FALSE(enabled());
}

}  // namespace

// ---- find ------------------------------------------------------------------------

// "ab" occurs at 2, 6 and 12: Enter walks forwards and wraps, Shift+Enter
// walks back, text is found as its bytes and Esc gives the view the focus.
TEST(HexViewFind, TheBarFindsForwardsBackwardsAndWraps) {
    ViewRig rig;
    rig.Load(Bytes({'x', 'x', 0xAB, 'x', 'x', 'x', 0xAB, 'x', 'h', 'i', 'x', 'x', 0xAB}));
    HexFindBar bar(&rig.view);
    bar.show();
    bar.Open();
    QTest::keyClicks(bar.field(), "a b");
    const auto enter = [&](Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(bar.field(), Qt::Key_Return, mods);
        return rig.caret().HasSelection() ? rig.caret().SelectionLow() : -1;
    };
    EXPECT_EQ(enter(), 2);
    EXPECT_EQ(enter(), 6);
    EXPECT_EQ(enter(), 12);
    EXPECT_EQ(enter(), 2);
    EXPECT_EQ(bar.statusText(), "Wrapped");
    EXPECT_EQ(enter(Qt::ShiftModifier), 12);
    EXPECT_EQ(enter(Qt::ShiftModifier), 6);
    EXPECT_EQ(rig.caret().SelectionHigh(), 7);

    bar.hexMode()->setChecked(false);
    bar.field()->setText("hi");
    EXPECT_EQ(enter(), 8);
    bar.field()->setText("no");
    EXPECT_EQ(enter(), 8);
    EXPECT_EQ(bar.statusText(), "Not found");
    bar.hexMode()->setChecked(true);
    bar.field()->setText("abc");
    EXPECT_FALSE(bar.FindNext());
    EXPECT_EQ(bar.statusText(), "Not hex bytes");
    QTest::keyClick(bar.field(), Qt::Key_Escape);
    EXPECT_FALSE(bar.isVisible());
}
