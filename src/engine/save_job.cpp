#include "engine/save_job.h"

#include <QSaveFile>

#include "image/read_back_writer.h"

QString SaveJob::CompleteName(const QString& path, int filterIndex) {
    const QString ending = path.right(4);
    if (ending == ".hex" || ending == ".bin") return path;
    return path + (filterIndex == 1 ? ".bin" : ".hex");
}

bool SaveJob::saveReadBack() {
    ctx_.host.DisableJobButtons();
    const auto answer = ctx_.prompts.AskSaveFile({"Inter Hex(*.hex)|*.hex|Binary(*.bin)|*.bin||", {}, {}});
    if (!answer) {
        ctx_.host.EnableJobButtons();
        return false;
    }
    const QString path = CompleteName(answer->path, answer->filterIndex);
    const std::uint8_t* image = ctx_.image.readBack();

    // The file is written aside and renamed into place, so a failed save
    // never leaves a damaged file where an older one stood.
    QSaveFile file(path);
    bool saved = file.open(QIODevice::WriteOnly);
    if (saved && path.right(4) == ".bin") {
        saved = file.write(reinterpret_cast<const char*>(image), ImageBuffer::kSize) == ImageBuffer::kSize;
    } else if (saved) {
        saved = WriteIntelHex(image, [&file](const char* piece, std::size_t length) {
            return file.write(piece, qint64(length)) == qint64(length);
        });
    }
    saved = saved && file.commit();
    if (saved) {
        ctx_.host.AppendLog(QString("File %1 have been saved successfully!").arg(path));
    } else {
        ctx_.prompts.ShowMessage(QString("Cannot save the file %1: %2").arg(path, file.errorString()));
    }
    ctx_.host.EnableJobButtons();
    return saved;
}
