#include "panel/buffer_page.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/job_engine.h"
#include "hexview/hex_find_bar.h"
#include "hexview/hex_view.h"
#include "image/checksum.h"
#include "panel/panel_colours.h"
#include "panel/window_prompts.h"

namespace {

QPushButton* Button(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

BufferPage::BufferPage(Kind kind, JobEngine& engine, WindowPrompts& prompts, QWidget* parent)
    : QWidget(parent), kind_(kind), engine_(engine), prompts_(prompts) {
    setObjectName(kind == Kind::WriteBuffer ? "WriteBuffer" : "ReadBuffer");
    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, kPanelColour);
    setPalette(ground);

    header_ = new QLabel(this);
    QPalette label = header_->palette();
    label.setColor(QPalette::WindowText, kLabelColour);
    header_->setPalette(label);
    view_ = new HexView(this);
    view_->SetPrompts(&prompts);
    auto* bar = new QHBoxLayout;
    bar->addWidget(header_, 1);
    if (kind == Kind::ReadBuffer) {
        differences_ = new QLabel(this);
        differences_->setPalette(label);
        QPushButton* previous = previous_ = Button("Previous difference", this);
        QPushButton* next = next_ = Button("Next difference", this);
        previous->setToolTip("Previous difference (Shift+F3)");
        next->setToolTip("Next difference (F3)");
        bar->addWidget(differences_);
        bar->addWidget(previous);
        bar->addWidget(next);
        connect(previous, &QPushButton::clicked, this, &BufferPage::PreviousDifference);
        connect(next, &QPushButton::clicked, this, &BufferPage::NextDifference);
        auto* nextAction = nextAction_ = new QAction("Next difference", this);
        nextAction->setShortcut(Qt::Key_F3);
        auto* previousAction = previousAction_ = new QAction("Previous difference", this);
        previousAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
        for (QAction* action : {nextAction, previousAction}) {
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(action);
            view_->AddContextAction(action);
        }
        connect(nextAction, &QAction::triggered, this, &BufferPage::NextDifference);
        connect(previousAction, &QAction::triggered, this, &BufferPage::PreviousDifference);
        view_->SetMarks(&engine_.differences());
    } else {
        QPushButton* save = Button("Save Write Buffer As...", this);
        revert_ = Button("Revert to File", this);
        revert_->setToolTip("The loaded file's image again, without the edits");
        bar->addWidget(revert_);
        bar->addWidget(save);
        connect(revert_, &QPushButton::clicked, this, &BufferPage::RevertToFile);
        connect(save, &QPushButton::clicked, this, [this, &prompts] { SaveAs(prompts); });
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(view_, 1);
    findBar_ = new HexFindBar(view_, this);
    layout->addWidget(findBar_);
    auto* find = new QAction("Find", this);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(find);
    connect(find, &QAction::triggered, findBar_, &HexFindBar::Open);

    // The tab strip gives the page the focus: the view takes it.
    setFocusProxy(view_);
    connect(view_, &HexView::Edited, this, &BufferPage::OnEdited);
    connect(&engine_, &JobEngine::ImagesChanged, this, [this](ImageChange change) {
        Refresh(change == (kind_ == Kind::WriteBuffer ? ImageChange::Program : ImageChange::ReadBack));
    });
    connect(&engine_, &JobEngine::JobBegun, this, [this] { OnJob(true); });
    connect(&engine_, &JobEngine::JobEnded, this, [this] { OnJob(false); });
    Refresh();
}

QString BufferPage::headerText() const { return header_->text(); }

QString BufferPage::differenceText() const { return differences_ ? differences_->text() : QString(); }

// The header says how the images stand; the view reloads its image when that
// image changed, unless the change came from this view's own edit, whose
// caret must stay where it is.
void BufferPage::Refresh(bool reload) {
    reload = reload && !editing_;
    if (reload) laidOutHidden_ = !isVisible();
    // Another file (or the same one again) is what a later save starts from.
    if (reload) savedName_.clear();
    const ImageKeeper& images = engine_.images();
    const ImageBuffer& image = engine_.image();
    const QString modified = kind_ == Kind::WriteBuffer ? (images.programModified() ? " (modified)" : "")
                                                        : (images.readBackModified() ? " (modified)" : "");
    if (kind_ == Kind::WriteBuffer) {
        const QString name = engine_.state().fileLoaded ? QFileInfo(image.loadedFilePath).fileName() : "no file";
        const QString saved = savedName_.isEmpty() ? QString() : QString(", saved as %1").arg(savedName_);
        header_->setText(QString("%1: %2 bytes, CRC-32 %3%4%5")
                             .arg(name, QString::number(image.imageSize()),
                                  Crc32Text(images.programCrc()), modified, saved));
        revert_->setEnabled(engine_.state().fileLoaded && !engine_.state().busy);
        // Without a file (after a firmware update, say) there is nothing to program.
        if (reload) {
            view_->SetData(image.program(), engine_.state().fileLoaded ? image.imageSize() : 0);
        } else if (!images.programModified()) {
            view_->MarkSaved();
        }
    } else {
        // The range of the last read, not of one being asked for now.
        const std::optional<ReadBackRange>& range = images.readRange();
        header_->setText(!range ? QString("nothing read yet")
                                : QString::asprintf("read %06X to %06X, CRC-32 %08X", range->start, range->end,
                                                    images.readBackCrc()) + modified);
        const std::size_t count = engine_.differences().size();
        differences_->setText(count == 1 ? "1 difference" : QString("%1 differences").arg(count));
        for (QPushButton* button : {previous_, next_}) button->setEnabled(count > 0);
        for (QAction* action : {previousAction_, nextAction_}) action->setEnabled(count > 0);
        if (reload) view_->SetData(image.readBack(), images.readBackLength());
        else view_->Redraw();  // the marks follow an edit of the file
    }
}

// The view lays its rows out for the size it has when data arrives; a page
// that was hidden then had no size yet.
void BufferPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (laidOutHidden_) Refresh();
}

void BufferPage::OnEdited() {
    const std::vector<std::uint8_t>& bytes = view_->data();
    editing_ = true;
    const bool taken = kind_ == Kind::WriteBuffer ? engine_.EditProgram(bytes.data(), bytes.size())
                                                  : engine_.EditReadBack(bytes.data(), bytes.size());
    editing_ = false;
    // Refused (a job or a load runs): the view goes back to the image.
    if (!taken) Refresh();
}

void BufferPage::OnJob(bool running) {
    view_->SetReadOnly(running);
    if (revert_) revert_->setEnabled(!running && engine_.state().fileLoaded);
}

void BufferPage::NextDifference() {
    const std::vector<std::uint32_t>& differing = engine_.differences();
    if (differing.empty()) return;
    const auto it = std::upper_bound(differing.begin(), differing.end(), std::uint32_t(view_->caretOffset()));
    ShowDifference(it == differing.end() ? 0 : std::size_t(it - differing.begin()));
}

void BufferPage::PreviousDifference() {
    const std::vector<std::uint32_t>& differing = engine_.differences();
    if (differing.empty()) return;
    const auto it = std::lower_bound(differing.begin(), differing.end(), std::uint32_t(view_->caretOffset()));
    ShowDifference(it == differing.begin() ? differing.size() - 1 : std::size_t(it - differing.begin()) - 1);
}

void BufferPage::ShowDifference(std::size_t index) {
    const std::vector<std::uint32_t>& differing = engine_.differences();
    differences_->setText(QString("%1 of %2").arg(index + 1).arg(differing.size()));
    GoTo(differing[index]);
}

void BufferPage::RevertToFile() {
    if (!engine_.state().fileLoaded || engine_.state().busy) return;
    if (engine_.images().programModified() &&
        !prompts_.AskWarning("Discard the edits in the write buffer and load the file again?", "Revert to File",
                             UserPrompts::Buttons::YesNo))
        return;
    engine_.ReloadProgramFile();
}

// The loaded file's own name, which the dialog asks before it replaces.
void BufferPage::SaveAs(WindowPrompts& prompts) {
    prompts.ProposeSaveName(QFileInfo(engine_.image().loadedFilePath).fileName());
    const QString path = engine_.SaveProgram();
    if (path.isEmpty()) return;
    savedName_ = QFileInfo(path).fileName();
    Refresh(false);
}

void BufferPage::GoTo(std::uint32_t address) {
    view_->GotoOffset(int(address));
    view_->setFocus(Qt::ShortcutFocusReason);
}
