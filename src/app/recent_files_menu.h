#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class AppSettings;
class QMenu;

// File > Recent Files: the image files loaded last, most recent first, kept
// in the settings so that they are still there at the next start. Choosing
// one hands its path to whoever opens files.
class RecentFilesMenu {
  public:
    static constexpr int kMaxFiles = 8;

    RecentFilesMenu(QMenu* menu, AppSettings& settings, std::function<void(const QString&)> open);

    // A file has just been loaded: it goes to the top, once only.
    void Add(const QString& path);
    QStringList paths() const { return paths_; }
    QMenu* menu() const { return menu_; }

  private:
    void Rebuild();

    QMenu* menu_;
    AppSettings& settings_;
    std::function<void(const QString&)> open_;
    QStringList paths_;
};
