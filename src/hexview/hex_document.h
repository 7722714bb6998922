#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The view's private copy of the bytes it shows, and the only place that
// changes their number. Every change either completes or, when memory
// cannot be had, leaves the bytes and their count exactly as they were.
// Positions outside the data are pulled back to its ends, so no caller can
// reach past the buffer.
class HexDocument {
public:
    // Replaces the bytes with a copy of count bytes. false when the copy
    // cannot be allocated (or would not fit a signed 32-bit length).
    bool Assign(const std::uint8_t* bytes, std::size_t count);

    // Inserts count zero bytes before pos; pos at the end appends.
    bool InsertBytes(int pos, int count);
    // Removes the bytes from `from` up to `to` - 1.
    bool DeleteBytes(int from, int to);
    // Removes [from, to) and puts count bytes in their place, in one step.
    bool Replace(int from, int to, const std::uint8_t* bytes, int count);
    // Overwrites one byte; false outside the data.
    bool Write(int offset, std::uint8_t value);

    // True once data has been handed over, even if it has no bytes left.
    bool present() const { return present_; }
    int length() const { return static_cast<int>(bytes_.size()); }
    std::uint8_t at(int offset) const { return bytes_[static_cast<std::size_t>(offset)]; }
    const std::uint8_t* bytes() const { return bytes_.data(); }
    const std::vector<std::uint8_t>& data() const { return bytes_; }

    // Refuses any buffer larger than this, as an allocator out of memory would.
    void SetAllocationLimit(std::size_t bytes) { allocationLimit_ = bytes; }

    // A read-only document refuses every change but a new Assign (while a
    // job sends or fills the image it shows).
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool readOnly() const { return readOnly_; }
    // Counts the changes made by editing since the last Assign.
    unsigned revision() const { return revision_; }

    // Every change since the last Assign can be taken back and made again,
    // newest first. Only the changed range is kept, before and after, and the
    // oldest steps go once the kept bytes pass the history limit. Each returns
    // the offset of the change, or -1 when there is nothing to do.
    int Undo();
    int Redo();
    bool canUndo() const { return !undo_.empty() && !readOnly_; }
    bool canRedo() const { return !redo_.empty() && !readOnly_; }
    void SetHistoryLimit(std::size_t bytes) { historyLimit_ = bytes; }
    // Whether the byte at offset was changed since the last Assign (an
    // undone change counts as changed until it is assigned anew).
    bool edited(int offset) const;
    // The bytes as they stand become the unedited ones; the history stays.
    void ForgetEdits() { edited_.assign(edited_.size(), false); }

private:
    struct Step {
        int from = 0;
        std::vector<std::uint8_t> before, after;
        std::size_t size() const { return before.size() + after.size(); }
    };

    bool Change(int from, int to, const std::uint8_t* bytes, int count);
    Step MakeStep(int from, int to, const std::uint8_t* bytes, int count) const;
    void Keep(Step step);
    void ClearRedo();
    int Apply(std::vector<Step>& from, std::vector<Step>& to, bool undo);
    void MarkEdited(int from, int count, int removed);
    bool Affordable(std::size_t length) const;
    bool Rebuild(int from, int to, const std::uint8_t* bytes, int count);
    void Splice(int from, int to, const std::uint8_t* bytes, int count);

    std::vector<std::uint8_t> bytes_;
    bool present_ = false;
    std::size_t allocationLimit_ = SIZE_MAX;
    bool readOnly_ = false;
    unsigned revision_ = 0;
    std::vector<Step> undo_, redo_;
    std::size_t historyBytes_ = 0;
    std::size_t historyLimit_ = std::size_t(64) << 20;
    // One flag per byte, following the bytes through inserts and deletes.
    std::vector<bool> edited_;
};
