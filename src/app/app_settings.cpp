#include "app/app_settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

AppSettings::AppSettings()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kKey,
                                            ApplicationName())) {}

AppSettings::AppSettings(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

AppSettings::~AppSettings() = default;

int AppSettings::GetProfileInt(const QString& entry, int fallback) const {
    const QVariant value = settings_->value(QString(kSection) + '/' + entry);
    bool isNumber = false;
    const int number = value.toInt(&isNumber);
    return value.isValid() && isNumber ? number : fallback;
}

void AppSettings::WriteProfileInt(const QString& entry, int value) {
    settings_->setValue(QString(kSection) + '/' + entry, value);
    settings_->sync();
}

QString AppSettings::GetProfileString(const QString& entry) const {
    return settings_->value(QString(kSection) + '/' + entry).toString();
}

void AppSettings::WriteProfileString(const QString& entry, const QString& value) {
    settings_->setValue(QString(kSection) + '/' + entry, value);
    settings_->sync();
}

QByteArray AppSettings::GetProfileBytes(const QString& entry) const {
    return settings_->value(QString(kSection) + '/' + entry).toByteArray();
}

void AppSettings::WriteProfileBytes(const QString& entry, const QByteArray& value) {
    settings_->setValue(QString(kSection) + '/' + entry, value);
    settings_->sync();
}

QStringList AppSettings::GetProfileList(const QString& entry) const {
    return settings_->value(QString(kSection) + '/' + entry).toStringList();
}

void AppSettings::WriteProfileList(const QString& entry, const QStringList& values) {
    settings_->setValue(QString(kSection) + '/' + entry, values);
    settings_->sync();
}

QString AppSettings::ApplicationName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
