#include "scratch_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "fuzz_check.h"

// In memory where the system offers it: a file replaced on a disk file system
// may be flushed on close, which costs more than the rest of a run.
QTemporaryDir& ScratchDir::Dir() {
    static QTemporaryDir dir(QFileInfo("/dev/shm").isWritable()
                                 ? "/dev/shm/brellix-fuzz-XXXXXX"
                                 : QDir::tempPath() + "/brellix-fuzz-XXXXXX");
    FUZZ_CHECK(dir.isValid());
    return dir;
}

QString ScratchDir::Path(const QString& name) {
    return Dir().filePath(name);
}

QString ScratchDir::Write(const QString& name, const char* bytes, qint64 length) {
    const QString path = Path(name);
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(length == 0 || file.write(bytes, length) == length);
    return path;
}
