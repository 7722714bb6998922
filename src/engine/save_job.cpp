#include "engine/save_job.h"

#include "image/image_format.h"

QString SaveJob::CompleteName(const QString& path, int filterIndex) {
    const QString ending = path.right(4);
    if (ending == ".hex" || ending == ".bin" || FormatOfName(path) == ImageFormat::SRecord) return path;
    static const char* const kEndings[] = {".hex", ".bin", ".srec"};
    return path + kEndings[filterIndex == 1 || filterIndex == 2 ? filterIndex : 0];
}

bool SaveJob::saveReadBack() {
    const std::optional<ReadBackRange> range = images_.readRange();
    if (!range) {
        ctx_.host.AppendLog("Nothing has been read from the chip yet\r\n");
        return false;
    }
    ctx_.host.DisableJobButtons();
    const auto answer = ctx_.prompts.AskSaveFile({kFilter, {}, {}});
    if (!answer) {
        ctx_.host.EnableJobButtons();
        return false;
    }
    const QString path = CompleteName(answer->path, answer->filterIndex);
    QString error;
    const bool saved = SaveReadRange(path, ctx_.image.readBack(), *range, &error);
    if (saved) {
        // The line stays open, as the other save's does; the next text starts
        // a line of its own.
        ctx_.host.AppendLog(QString("File %1 have been saved successfully! (read from addr:%2 to %3)")
                                .arg(path, QString::asprintf("%06X", range->start),
                                     QString::asprintf("%06X", range->end)));
    } else {
        ctx_.prompts.ShowMessage(QString("Cannot save the file %1: %2").arg(path, error));
    }
    ctx_.host.EnableJobButtons();
    return saved;
}
