#include "engine/image_keeper.h"

#include <algorithm>
#include <cstring>

#include "image/checksum.h"
#include "image/image_compare.h"
#include "image/read_back_writer.h"
#include "image/srecord_writer.h"

void ImageKeeper::ReplaceProgram(const std::uint8_t* bytes, std::size_t length) {
    const auto size = std::uint32_t(std::min<std::size_t>(length, ImageBuffer::kSize));
    std::uint8_t* staging = ctx_.image.ResetStaging();
    if (size > 0) std::memcpy(staging, bytes, size);
    ctx_.image.CommitLoad(size);
    ctx_.state.fileLoaded = true;
    programModified_ = true;
    RefreshProgram();
    CompareAgain();
}

void ImageKeeper::ReplaceReadBack(const std::uint8_t* bytes, std::size_t length) {
    const auto size = std::uint32_t(std::min<std::size_t>(length, ImageBuffer::kSize));
    if (size > 0) std::memcpy(ctx_.image.readBack(), bytes, size);
    readBackLength_ = size;
    readBackModified_ = true;
    RefreshReadBack();
    CompareAgain();
}

// Differences found against another image would mark bytes that no longer
// differ; only an edit carries them over.
void ImageKeeper::OnProgramLoaded() {
    programModified_ = false;
    ctx_.differences.clear();
    ctx_.compared = false;
    RefreshProgram();
}

void ImageKeeper::OnReadBackStarted() {
    readStarted_ = true;
    readRange_.reset();
    readBackLength_ = 0;
    readBackModified_ = false;
    RefreshReadBack();
}

// A compare of an empty image reads nothing: what was read before stays.
void ImageKeeper::OnReadBackRead() {
    if (readStarted_) {
        const std::uint32_t end = std::min(ctx_.state.readEnd, ImageBuffer::kSize - 1);
        readRange_ = ReadBackRange{std::min(ctx_.state.readStart, end), end};
        readBackLength_ = end + 1;
        readBackModified_ = false;
    }
    readStarted_ = false;
    RefreshReadBack();
}

void ImageKeeper::RefreshProgram() { programCrc_ = Crc32(ctx_.image.program(), ctx_.image.imageSize()); }

std::uint32_t ImageKeeper::ReadFrom() const { return readRange_ ? std::min(readRange_->start, readBackLength_) : 0; }

// The checksum of the range last read, which is what the user read.
void ImageKeeper::RefreshReadBack() {
    const std::uint32_t from = ReadFrom();
    readBackCrc_ = Crc32(ctx_.image.readBack() + from, readBackLength_ - from);
}

// The differences follow an edit on either side, over what was compared.
void ImageKeeper::CompareAgain() {
    if (ctx_.differences.empty() && !ctx_.compared) return;
    const std::uint32_t to = std::min(ctx_.image.imageSize(), readBackLength_);
    const std::uint32_t from = std::min(ReadFrom(), to);
    DifferingAddresses(ctx_.image.program(), ctx_.patches, ctx_.image.readBack(), from, to, ctx_.differences);
}

bool ImageKeeper::SaveProgram(const QString& path, QString* error) const {
    const std::uint8_t* image = ctx_.image.program();
    return SaveImageFile(
        path,
        [&](ImageFormat format, const TextSink& put) {
            switch (format) {
                case ImageFormat::Binary:
                    return put(reinterpret_cast<const char*>(image), ctx_.image.imageSize());
                case ImageFormat::SRecord: return WriteSRecord(image, path, put);
                default: return WriteIntelHex(image, put);
            }
        },
        error);
}
