#include "production/recipe.h"

#include <QDir>

QString Recipe::ImageFilePath() const {
    return FilePath(imagePath);
}

QString Recipe::FilePath(const QString& relative) const {
    return QDir::cleanPath(QDir(directory).absoluteFilePath(relative));
}
