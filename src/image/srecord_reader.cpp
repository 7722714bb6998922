#include "image/srecord_reader.h"

ImportResult ReadSRecord(const std::uint8_t*, std::size_t, std::uint8_t*, const ProgressSink&,
                         const std::atomic<bool>*) {
    return ImportResult::Refused("S-record files are not read yet");
}
