#include "hexview/hex_document.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

bool HexDocument::Assign(const std::uint8_t* bytes, std::size_t count) {
    if (!Affordable(count)) return false;
    try {
        // Built aside and swapped in, so a refused allocation leaves the old copy.
        std::vector<std::uint8_t> fresh(bytes, bytes + count);
        bytes_.swap(fresh);
    } catch (const std::bad_alloc&) {
        return false;
    }
    present_ = true;
    revision_ = 0;
    undo_.clear();
    ClearRedo();
    historyBytes_ = 0;
    edited_.assign(count, false);
    return true;
}

bool HexDocument::InsertBytes(int pos, int count) {
    return Replace(pos, pos, nullptr, count);
}

bool HexDocument::DeleteBytes(int from, int to) {
    return Replace(from, to, nullptr, 0);
}

bool HexDocument::Replace(int from, int to, const std::uint8_t* bytes, int count) {
    if (readOnly_) return false;
    const int len = length();
    from = std::clamp(from, 0, len);
    to = std::clamp(to, from, len);
    count = std::max(count, 0);
    Step step = MakeStep(from, to, bytes, count);
    if (!Change(from, to, bytes, count)) return false;
    Keep(std::move(step));
    return true;
}

bool HexDocument::Change(int from, int to, const std::uint8_t* bytes, int count) {
    const int len = length();
    const std::size_t newLength = std::size_t(len - (to - from)) + std::size_t(count);
    if (!Affordable(newLength)) return false;
    if (newLength > bytes_.capacity()) {
        if (!Rebuild(from, to, bytes, count)) return false;
    } else {
        Splice(from, to, bytes, count);
    }
    MarkEdited(from, count, to - from);
    ++revision_;
    return true;
}

bool HexDocument::Write(int offset, std::uint8_t value) {
    if (readOnly_ || offset < 0 || offset >= length()) return false;
    Step step = MakeStep(offset, offset + 1, &value, 1);
    bytes_[std::size_t(offset)] = value;
    edited_[std::size_t(offset)] = true;
    Keep(std::move(step));
    ++revision_;
    return true;
}

int HexDocument::Undo() { return Apply(undo_, redo_, true); }

int HexDocument::Redo() { return Apply(redo_, undo_, false); }

bool HexDocument::edited(int offset) const {
    return offset >= 0 && std::size_t(offset) < edited_.size() && edited_[std::size_t(offset)];
}

namespace {

bool IsOverwrite(const auto& step) { return step.before.size() == 1 && step.after.size() == 1; }

}  // namespace

// A step too large for the history, or whose copy cannot be had, comes
// back empty: the change is still made, and the history before it goes.
HexDocument::Step HexDocument::MakeStep(int from, int to, const std::uint8_t* bytes, int count) const {
    Step step;
    step.from = from;
    if (std::size_t(to - from) + std::size_t(count) > historyLimit_) return step;
    try {
        step.before.assign(bytes_.begin() + from, bytes_.begin() + to);
        if (bytes)
            step.after.assign(bytes, bytes + count);
        else
            step.after.assign(std::size_t(count), 0);
    } catch (const std::bad_alloc&) {
        step = Step{from, {}, {}};
    }
    return step;
}

// A new change makes the undone ones unreachable; the oldest steps go once
// the history holds more than its limit.
void HexDocument::Keep(Step step) {
    ClearRedo();
    if (step.before.empty() && step.after.empty()) {
        undo_.clear();
        historyBytes_ = 0;
        return;
    }
    // The two digits typed into one byte are one change to take back.
    if (!undo_.empty() && IsOverwrite(step) && IsOverwrite(undo_.back()) && undo_.back().from == step.from) {
        undo_.back().after = step.after;
        return;
    }
    historyBytes_ += step.size();
    try {
        undo_.push_back(std::move(step));
    } catch (const std::bad_alloc&) {
        undo_.clear();
        historyBytes_ = 0;
        return;
    }
    std::size_t drop = 0;
    while (historyBytes_ > historyLimit_ && drop < undo_.size()) historyBytes_ -= undo_[drop++].size();
    undo_.erase(undo_.begin(), undo_.begin() + std::ptrdiff_t(drop));
}

void HexDocument::ClearRedo() {
    for (const Step& step : redo_) historyBytes_ -= step.size();
    redo_.clear();
}

int HexDocument::Apply(std::vector<Step>& from, std::vector<Step>& to, bool undo) {
    if (readOnly_ || from.empty()) return -1;
    Step step = std::move(from.back());
    from.pop_back();
    const std::vector<std::uint8_t>& now = undo ? step.after : step.before;
    const std::vector<std::uint8_t>& then = undo ? step.before : step.after;
    const int at = step.from;
    if (!Change(at, at + int(now.size()), then.data(), int(then.size()))) {
        from.push_back(std::move(step));
        return -1;
    }
    to.push_back(std::move(step));
    return at;
}

void HexDocument::MarkEdited(int from, int count, int removed) {
    auto at = edited_.begin() + from;
    at = edited_.erase(at, at + removed);
    edited_.insert(at, std::size_t(count), true);
}

bool HexDocument::Affordable(std::size_t length) const {
    return length <= allocationLimit_ && length <= std::size_t(INT_MAX);
}

// A growing change copies the whole buffer once into a new one; only when
// that has succeeded does the old one go.
bool HexDocument::Rebuild(int from, int to, const std::uint8_t* bytes, int count) {
    std::vector<std::uint8_t> fresh;
    try {
        fresh.reserve(bytes_.size() - std::size_t(to - from) + std::size_t(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    fresh.insert(fresh.end(), bytes_.begin(), bytes_.begin() + from);
    if (bytes)
        fresh.insert(fresh.end(), bytes, bytes + count);
    else
        fresh.insert(fresh.end(), std::size_t(count), 0);
    fresh.insert(fresh.end(), bytes_.begin() + to, bytes_.end());
    bytes_.swap(fresh);
    return true;
}

// Fits in the capacity already held, so nothing here allocates.
void HexDocument::Splice(int from, int to, const std::uint8_t* bytes, int count) {
    bytes_.erase(bytes_.begin() + from, bytes_.begin() + to);
    bytes_.insert(bytes_.begin() + from, std::size_t(count), 0);
    if (bytes && count > 0) std::memcpy(bytes_.data() + from, bytes, std::size_t(count));
}
