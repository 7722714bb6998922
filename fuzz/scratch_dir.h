#pragma once

#include <QString>
#include <QTemporaryDir>

// A folder of this fuzzer process's own for the files an input needs on
// disk; it goes when the process ends normally.
class ScratchDir {
  public:
    // The scratch path for a file name.
    static QString Path(const QString& name);
    // Writes bytes to the named file, replacing it; the file's path.
    static QString Write(const QString& name, const char* bytes, qint64 length);

  private:
    static QTemporaryDir& Dir();
};
