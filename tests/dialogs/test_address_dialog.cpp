#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "dialogs/address_dialog.h"

namespace {

TEST(AddressDialog, ShowsThePromptAndTakesTheAddressInUpperCase) {
    AddressDialog dialog(QStringLiteral("Address:(0 To 3E7)"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Input the Address Value"));
    EXPECT_EQ(dialog.prompt(), QStringLiteral("Address:(0 To 3E7)"));
    EXPECT_TRUE(dialog.address().isEmpty());
    EXPECT_TRUE(dialog.okButton()->isDefault());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QTest::keyClicks(dialog.addressEdit(), "1fa");
    EXPECT_EQ(dialog.address(), QStringLiteral("1FA"));
}

TEST(AddressDialog, EnterAcceptsAndEscapeOrCancelEndsTheCommand) {
    {
        AddressDialog dialog(QStringLiteral("Address:(0 To 0)"));
        dialog.show();
        QTest::keyClicks(dialog.addressEdit(), "10");
        QTest::keyClick(dialog.addressEdit(), Qt::Key_Return);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    {
        AddressDialog dialog(QStringLiteral("Address:(0 To 0)"));
        dialog.show();
        QTest::keyClick(dialog.addressEdit(), Qt::Key_Escape);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        AddressDialog dialog(QStringLiteral("Address:(0 To 0)"));
        dialog.show();
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
}

}  // namespace
