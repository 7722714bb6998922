#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

// The program's remembered values, kept per user under the organisation
// "Fernwick Brellix", the application name (the executable's base name) and
// the section "Fernwick Brellix": two integers, the paths of the files used
// last, the window's place and a production station's last options.
class AppSettings {
  public:
    static constexpr char kKey[] = "Fernwick Brellix";
    static constexpr char kSection[] = "Fernwick Brellix";
    static constexpr char kAccessMode[] = "AccessMode";
    static constexpr char kReloadFile[] = "Reloadfile";
    // The image files loaded last, most recent first, and the folder the
    // file dialogs start in.
    static constexpr char kRecentFiles[] = "RecentFiles";
    static constexpr char kLastFolder[] = "LastFolder";
    // The main window's size and place, as the window saves them.
    static constexpr char kWindowGeometry[] = "WindowGeometry";
    // File > Production...'s last choices: operator, station, record, the
    // next unit on Enter (1) or on re-plug (0), failures in a row for a stop.
    static constexpr char kStationOperator[] = "StationOperator";
    static constexpr char kStationName[] = "StationName";
    static constexpr char kStationRecord[] = "StationRecord";
    static constexpr char kStationNextOnKey[] = "StationNextOnKey";
    static constexpr char kStationStopAfterFailures[] = "StationStopAfterFailures";

    // The user's own store (the platform's native settings location).
    AppSettings();
    // A store in one file, for a test or a portable setup.
    explicit AppSettings(const QString& iniFile);
    ~AppSettings();

    // The stored integer, or fallback when the entry is missing or not a number.
    int GetProfileInt(const QString& entry, int fallback) const;
    // Written through at once, so a crash loses nothing.
    void WriteProfileInt(const QString& entry, int value);
    // Texts and lists of texts, for paths; empty when missing.
    QString GetProfileString(const QString& entry) const;
    void WriteProfileString(const QString& entry, const QString& value);
    QByteArray GetProfileBytes(const QString& entry) const;
    void WriteProfileBytes(const QString& entry, const QByteArray& value);
    QStringList GetProfileList(const QString& entry) const;
    void WriteProfileList(const QString& entry, const QStringList& values);

    // The executable's file name without its extension.
    static QString ApplicationName();

  private:
    std::unique_ptr<QSettings> settings_;
};
