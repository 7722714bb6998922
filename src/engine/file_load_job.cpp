#include "engine/file_load_job.h"

namespace {

// The program's own three kinds first, as they always stood, then the
// S-record and ELF kinds it reads too.
constexpr char kOpenFilter[] =
    "Inter Hex(*.hex)|*.hex|Loader(*.ldr)|*.ldr| Binary(*.bin)|*.bin|"
    "Motorola S-record(*.srec *.s19 *.s28 *.s37 *.mot)|*.srec;*.s19;*.s28;*.s37;*.mot|"
    "ELF(*.elf *.axf *.out)|*.elf;*.axf;*.out||";

QString FormatLine(const ImportResult& loaded) {
    QString line = "Format: " + ImageFormatName(loaded.format);
    if (!loaded.header.isEmpty()) line += QString(", header \"%1\"").arg(loaded.header);
    if (loaded.hasStart) line += QString::asprintf(", start %08X", loaded.start);
    return line + "\r\n";
}

}  // namespace

void FileLoadJob::Open(const QString& path) {
    // A load rewrites the program image; it must not do so under a running
    // job or beside another load.
    if (ctx_.state.busy || worker_.running()) {
        ctx_.host.AppendLog("Program is busy\r\n");
        return;
    }
    ctx_.state.reloadNow = false;
    Start(path);
}

void FileLoadJob::Start(const QString& given) {
    if (slotClosed_) return;
    ctx_.host.DisableJobButtons();
    QString path = given.isEmpty() ? ctx_.image.loadedFilePath : given;
    if (given.isEmpty() && !ctx_.state.reloadNow) {
        const auto answer = ctx_.prompts.AskOpenFile(
            {kOpenFilter, "HEX", "*.HEX"});
        if (!answer) {
            // The user chose this: nothing to log.
            Failed({});
            return;
        }
        path = answer->path;
    }
    // Only one load may write the staging image at a time.
    StopWorker();
    ctx_.image.ResetStaging();
    worker_.Start(path, ctx_.image.ShareStaging());
}

bool FileLoadJob::Finish(const FileLoadOutcome& outcome) {
    // An outcome already on its way when the load was stopped belongs to nobody.
    if (slotClosed_ || !worker_.running()) return false;
    StopWorker();
    if (outcome.opened) {
        ctx_.image.loadedFilePath = outcome.path;
        ctx_.image.fileTimeText = outcome.timeText;
    }
    if (!outcome.result.ok) {
        Failed(outcome);
        return false;
    }
    ctx_.image.CommitLoad(outcome.result.imageSize);
    loaded_ = outcome.result;
    // Whoever hears of the new image finds it loaded and shown.
    ctx_.state.fileLoaded = true;
    ctx_.host.ShowData(ctx_.image.program(), ctx_.image.imageSize());
    ctx_.ImageReplaced(JobContext::Image::Program);
    Done();
    return true;
}

void FileLoadJob::LogLoaded() {
    // One substitution pass: a path may itself hold "%1" or "%3", as
    // URL-encoded names do, and must come out as it is.
    ctx_.host.AppendLog(
        QString("File %1 has been loaded sucessful!Generate Time:%2\tSize:%3 bytes!\r\n")
            .arg(ctx_.image.loadedFilePath, ctx_.image.fileTimeText,
                 QString::number(ctx_.image.imageSize())));
    ctx_.host.AppendLog(FormatLine(loaded_));
    ctx_.host.SetProgress(100, 0);
    ctx_.host.EnableHexView(true);
}

// A failed load ends whatever was waiting for it: an auto program's reload or
// a firmware update's image, even when the user only cancelled the dialog.
// The bar would otherwise stay where the parse stopped, and an auto program
// would end without a word.
void FileLoadJob::Failed(const FileLoadOutcome& outcome) {
    ctx_.host.SetProgress(100, 0);
    const ImportResult& result = outcome.result;
    if (!result.reason.isEmpty())
        ctx_.host.AppendLog(
            QString("Cannot load the file %1: %2\r\n").arg(outcome.path, result.reason));
    if (!result.message.isEmpty()) ctx_.prompts.ShowMessage(result.message);
    // Told only when a job waited for the file.
    QString detail = "no file chosen";
    if (!result.reason.isEmpty()) detail = QString("cannot load %1: %2").arg(outcome.path, result.reason);
    else if (!result.message.isEmpty()) detail = result.message;
    ctx_.NoteFailure("load file", detail);
    ctx_.EndJob();
    Done();
}

void FileLoadJob::Done() {
    ctx_.host.EnableJobButtons();
    ctx_.state.reloadNow = ctx_.state.reloadLastFile;
}

void FileLoadJob::CloseSlot() {
    slotClosed_ = true;
    StopWorker();
}

// A worker that had to be let go may still write its staging block, so the
// image takes a fresh one for whatever comes next.
void FileLoadJob::StopWorker() {
    if (worker_.Stop() == LoadStop::LetGo) ctx_.image.ReplaceStaging();
}
