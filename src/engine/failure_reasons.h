#pragma once

#include <QString>
#include <cstdint>

// How a failed job names the step it stopped in and what happened there.
// One wording for every job, so that a log, a summary and a production
// record read alike.
namespace FailureReason {

// Steps.
QString ProgramBlock(std::uint32_t address);
QString FirmwareBlock(std::uint32_t word);

// Details.
QString NoReply(int timeoutMs, int droppedReplies, std::uint8_t firstDroppedCode);
// A write that failed (bytesWritten < 0, with the system's error) or
// transferred only part of the report.
QString WriteFailed(int bytesWritten, std::int64_t errorCode);
QString WrongStatus(std::uint8_t status);
QString ReadBackDiffers(std::uint32_t firstAddress, std::size_t count);

inline const QString kRemoved = QStringLiteral("adapter removed");
inline const QString kCancelled = QStringLiteral("cancelled");
inline const QString kRefused = QStringLiteral("refused by the adapter");

}  // namespace FailureReason
