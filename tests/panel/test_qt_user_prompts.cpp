#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "dialogs/read_options_dialog.h"

#include "panel/qt_user_prompts.h"
#include "support/temp_files.h"

// The dialog starts in the folder remembered, and the folder of the file
// chosen is remembered for the next one, opening or saving.
TEST(QtUserPrompts, FileDialogsStartInTheFolderUsedLast) {
    TempFiles first, second;
    const auto canonical = [](const QString& path) { return QFileInfo(path).canonicalFilePath(); };
    const QString chosen = second.Write("image.hex", QByteArray(":00000001FF\n"));
    QString remembered = QFileInfo(first.Path("x")).absolutePath();
    QtUserPrompts prompts;
    prompts.SetFolderStore({[&] { return remembered; }, [&](const QString& f) { remembered = f; }});
    QString startedIn;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        startedIn = dialog->directory().absolutePath();
        dialog->selectFile(chosen);
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto answer = prompts.AskOpenFile({"Inter Hex(*.hex)|*.hex||", "HEX", "*.HEX"});
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(canonical(startedIn), canonical(first.Path(".")));
    EXPECT_EQ(canonical(remembered), canonical(second.Path(".")));
}

namespace {

// Presses a key in the modal dialog once it is up.
template <typename Dialog>
void WhenUp(std::function<void(Dialog*)> act) {
    QTimer::singleShot(0, [act] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) act(dialog);
    });
}

}  // namespace

// Enter takes the default: No for a warning (each risks something), Save for
// unsaved edits; Escape is Cancel.
TEST(QtUserPrompts, WarningsDefaultToNoAndEditsToSave) {
    QtUserPrompts prompts;
    const auto press = [](Qt::Key key) {
        WhenUp<QMessageBox>([key](QMessageBox* box) { QTest::keyClick(box, key); });
    };
    press(Qt::Key_Return);
    EXPECT_FALSE(prompts.AskWarning("A job is running. Quit anyway?", "Warning", UserPrompts::Buttons::YesNo));
    press(Qt::Key_Return);
    EXPECT_TRUE(prompts.AskWarning("Continue?", "Warning", UserPrompts::Buttons::OkCancel));
    press(Qt::Key_Escape);
    EXPECT_EQ(prompts.AskSaveDiscard("Unsaved", "Warning"), UserPrompts::Keep::Cancel);
    WhenUp<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Discard)->click(); });
    EXPECT_EQ(prompts.AskSaveDiscard("Unsaved", "Warning"), UserPrompts::Keep::Discard);
}

// The dialog offers the range accepted last; a cancelled one is not remembered.
TEST(QtUserPrompts, ReadOptionsOfferTheLastRangeRead) {
    QtUserPrompts prompts;
    WhenUp<ReadOptionsDialog>([](ReadOptionsDialog* dialog) {
        QTest::keyClicks(dialog->fromToStartEdit(), "100");
        QTest::keyClicks(dialog->fromToEndEdit(), "1ff");
        dialog->accept();
    });
    ASSERT_TRUE(prompts.AskReadOptions().has_value());
    QString offered;
    WhenUp<ReadOptionsDialog>([&](ReadOptionsDialog* dialog) {
        offered = dialog->fromToStartEdit()->text() + "-" + dialog->fromToEndEdit()->text();
        dialog->fromToEndEdit()->setText("2FF");
        dialog->reject();
    });
    EXPECT_FALSE(prompts.AskReadOptions().has_value());
    EXPECT_EQ(offered, "100-1FF");
    WhenUp<ReadOptionsDialog>([&](ReadOptionsDialog* dialog) {
        offered = dialog->fromToEndEdit()->text();
        dialog->reject();
    });
    prompts.AskReadOptions();
    EXPECT_EQ(offered, "1FF");
}
