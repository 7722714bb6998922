#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "app/app_settings.h"

TEST(AppSettings, MissingOrNonNumericEntriesFallBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath("s.ini");
    QSettings(file, QSettings::IniFormat).setValue("Fernwick Brellix/AccessMode", "JTAG");
    AppSettings settings(file);
    EXPECT_EQ(settings.GetProfileInt("Reloadfile", 7), 7);
    EXPECT_EQ(settings.GetProfileInt("AccessMode", 3), 3);
}

TEST(AppSettings, IntegersGoIntoTheBrellixSectionAtOnce) {
    QTemporaryDir dir;
    const QString file = dir.filePath("s.ini");
    AppSettings settings(file);
    settings.WriteProfileInt("AccessMode", 1);
    EXPECT_EQ(QSettings(file, QSettings::IniFormat).value("Fernwick Brellix/AccessMode").toInt(),
              1);
    EXPECT_EQ(settings.GetProfileInt("AccessMode", 0), 1);
}

TEST(AppSettings, TheApplicationIsNamedAfterTheExecutable) {
    EXPECT_EQ(AppSettings::ApplicationName(), "test_app");
}
