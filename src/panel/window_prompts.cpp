#include "panel/window_prompts.h"

#include <algorithm>

// The asker's own filters stay in their order between the two added ones; the
// index handed back is one of them (both added ones count as the first).
std::optional<UserPrompts::FileAnswer> WindowPrompts::AskOpenFile(const FileQuestion& question) {
    FileQuestion offered = question;
    QString own = question.filter;
    while (own.endsWith('|')) own.chop(1);
    const int ownCount = int(own.count('|') + 1) / 2;
    offered.filter = QString(kAllImages) + own + "|" + kAllFiles + "|";
    std::optional<FileAnswer> answer = inner_.AskOpenFile(offered);
    if (answer) answer->filterIndex = std::clamp(answer->filterIndex - 1, 0, std::max(ownCount - 1, 0));
    return answer;
}

std::optional<UserPrompts::FileAnswer> WindowPrompts::AskSaveFile(const FileQuestion& question) {
    FileQuestion offered = question;
    if (offered.initialName.isEmpty()) offered.initialName = proposedName_;
    proposedName_.clear();
    return inner_.AskSaveFile(offered);
}

std::optional<ReadOptions> WindowPrompts::AskReadOptions() {
    if (wholeChip_ && wholeChip_()) {
        ReadOptions whole;
        whole.mode = ReadRangeMode::WholeChip;
        return whole;
    }
    return inner_.AskReadOptions();
}
