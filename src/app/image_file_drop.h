#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QMimeData;
class QWidget;

// Image files dropped on the window are loaded as Open would load them. Only
// the kinds Open offers (Intel HEX, S-record, ELF and binary, by their
// endings) are taken; the drag of anything else is refused, so the pointer
// says so before the drop.
class ImageFileDrop : public QObject {
  public:
    ImageFileDrop(QWidget* window, std::function<void(const QString&)> open);

    // The first local file of the drag that is an image file, or empty.
    static QString ImagePath(const QMimeData* mime);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<void(const QString&)> open_;
};
