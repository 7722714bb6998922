#include "engine/save_job.h"

#include <QSaveFile>

#include "image/read_back_writer.h"

QString SaveJob::CompleteName(const QString& path, int filterIndex) {
    const QString ending = path.right(4);
    if (ending == ".hex" || ending == ".bin") return path;
    return path + (filterIndex == 1 ? ".bin" : ".hex");
}

void SaveJob::saveReadBack() {
    ctx_.host.DisableJobButtons();
    const auto answer = ctx_.prompts.AskSaveFile({"Inter Hex(*.hex)|*.hex|Binary(*.bin)|*.bin||", {}, {}});
    if (!answer) {
        ctx_.host.EnableJobButtons();
        return;
    }
    const QString path = CompleteName(answer->path, answer->filterIndex);
    const QByteArray content =
        path.right(4) == ".bin"
            ? QByteArray::fromRawData(reinterpret_cast<const char*>(ctx_.image.readBack()), ImageBuffer::kSize)
            : IntelHexText(ctx_.image.readBack());

    // The file is written aside and renamed into place, so a failed save
    // never leaves a damaged file where an older one stood.
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
    if (saved) {
        ctx_.host.AppendLog(QString("File %1 have been saved successfully!").arg(path));
    } else {
        ctx_.prompts.ShowMessage(QString("Cannot save the file %1: %2").arg(path, file.errorString()));
    }
    ctx_.host.EnableJobButtons();
}
