#include "app/recent_files_menu.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include "app/app_settings.h"

RecentFilesMenu::RecentFilesMenu(QMenu* menu, AppSettings& settings,
                                 std::function<void(const QString&)> open)
    : menu_(menu), settings_(settings), open_(std::move(open)) {
    // A list edited by hand may hold blanks, repeats or too many paths.
    for (const QString& path : settings_.GetProfileList(AppSettings::kRecentFiles))
        if (!path.isEmpty() && !paths_.contains(path) && paths_.size() < kMaxFiles) paths_ << path;
    Rebuild();
}

void RecentFilesMenu::Add(const QString& path) {
    if (path.isEmpty()) return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QStringList before = paths_;
    paths_.removeAll(absolute);
    paths_.prepend(absolute);
    while (paths_.size() > kMaxFiles) paths_.removeLast();
    if (paths_ == before) return;
    settings_.WriteProfileList(AppSettings::kRecentFiles, paths_);
    Rebuild();
}

void RecentFilesMenu::Rebuild() {
    menu_->clear();
    for (int i = 0; i < paths_.size(); ++i) {
        const QString path = paths_[i];
        // "&&" keeps an ampersand in a file name from turning into a mnemonic.
        QString shown = QDir::toNativeSeparators(path);
        shown.replace('&', "&&");
        menu_->addAction(QString("&%1 %2").arg(i + 1).arg(shown), [this, path] { open_(path); });
    }
    menu_->menuAction()->setEnabled(!paths_.isEmpty());
}
