#pragma once

#include <QString>
#include <memory>

class QSettings;

// The program's two remembered values, kept per user under the organisation
// "Fernwick Brellix", the application name (the executable's base name) and
// the section "Fernwick Brellix". Only integers are stored.
class AppSettings {
  public:
    static constexpr char kKey[] = "Fernwick Brellix";
    static constexpr char kSection[] = "Fernwick Brellix";
    static constexpr char kAccessMode[] = "AccessMode";
    static constexpr char kReloadFile[] = "Reloadfile";

    // The user's own store (the platform's native settings location).
    AppSettings();
    // A store in one file, for a test or a portable setup.
    explicit AppSettings(const QString& iniFile);
    ~AppSettings();

    // The stored integer, or fallback when the entry is missing or not a number.
    int GetProfileInt(const QString& entry, int fallback) const;
    // Written through at once, so a crash loses nothing.
    void WriteProfileInt(const QString& entry, int value);

    // The executable's file name without its extension.
    static QString ApplicationName();

  private:
    std::unique_ptr<QSettings> settings_;
};
