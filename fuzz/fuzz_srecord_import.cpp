// Feeds Motorola S-record text to the S-record reader.
//
// Whatever loads is written out again by the S-record writer, over the span
// of the image that holds data, and read back: the same bytes must come
// back, with the writer's header and start address. Whatever fails says why.
#include <QByteArray>
#include <cstring>

#include "blank_image.h"
#include "fuzz_check.h"
#include "image/image_buffer.h"
#include "image/srecord_reader.h"
#include "image/srecord_writer.h"

namespace {

// The first and one past the last byte that is not blank; from == to when
// the image is blank.
// Words first: a byte at a time over 4 MiB would slow every input down.
void DataSpan(const std::uint8_t* image, std::uint32_t& from, std::uint32_t& to) {
    const auto blankWord = [image](std::uint32_t at) {
        std::uint64_t word;
        std::memcpy(&word, image + at, 8);
        return word == ~std::uint64_t(0);
    };
    from = 0;
    to = ImageBuffer::kSize;
    while (from < to && blankWord(from)) from += 8;
    while (to > from && blankWord(to - 8)) to -= 8;
    while (from < to && image[from] == ImageBuffer::kBlank) ++from;
    while (to > from && image[to - 1] == ImageBuffer::kBlank) --to;
}

void CheckRoundTrip(const std::uint8_t* image, BlankImage& again) {
    std::uint32_t from = 0, to = 0;
    DataSpan(image, from, to);
    QByteArray text;
    FUZZ_CHECK(WriteSRecordRange(image, from, to, "fuzz.s37", [&text](const char* piece, std::size_t length) {
        text.append(piece, qsizetype(length));
        return true;
    }));
    const ImportResult reread = ReadSRecord(reinterpret_cast<const std::uint8_t*>(text.constData()),
                                            std::size_t(text.size()), again.data(), {});
    FUZZ_CHECK(reread.ok && reread.header == "fuzz.s37" && reread.hasStart && reread.start == 0);
    FUZZ_CHECK(std::memcmp(image + from, again.data() + from, to - from) == 0);
    again.Reset();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static BlankImage image;
    static BlankImage again;
    ProgressCheck progress;
    const ImportResult result = ReadSRecord(data, size, image.data(), progress.Sink());
    FUZZ_CHECK(result.format == ImageFormat::SRecord && !result.stopped);
    if (result.ok) {
        FUZZ_CHECK(result.imageSize % 128 == 0 && result.imageSize <= ImageBuffer::kSize);
        CheckRoundTrip(image.data(), again);
    } else {
        FUZZ_CHECK(!result.reason.isEmpty());
    }
    image.Reset();
    return 0;
}
