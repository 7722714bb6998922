#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

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
