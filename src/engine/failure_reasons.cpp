#include "engine/failure_reasons.h"

#include "link/adapter_report.h"

namespace FailureReason {

QString ProgramBlock(std::uint32_t address) { return QString::asprintf("program block at 0x%06X", address); }

QString FirmwareBlock(std::uint32_t word) { return QString::asprintf("firmware block at word 0x%04X", word); }

// Replies that came but answered another request (late or foreign) make a
// time-out a different fault from plain silence.
QString NoReply(int timeoutMs, int droppedReplies, std::uint8_t firstDroppedCode) {
    QString detail = QString("no reply within %1 ms").arg(timeoutMs);
    if (droppedReplies == 1)
        detail += QString::asprintf("; 1 reply dropped because it did not answer the request (code 0x%02X)",
                                    firstDroppedCode);
    else if (droppedReplies > 1)
        detail += QString::asprintf(
            "; %d replies dropped because they did not answer the request (first code 0x%02X)", droppedReplies,
            firstDroppedCode);
    return detail;
}

QString WriteFailed(int bytesWritten, std::int64_t errorCode) {
    if (bytesWritten >= 0)
        return QString("USB write of %1 of %2 bytes").arg(bytesWritten).arg(kReportSize);
    return QString("USB write failed, error %1").arg(errorCode);
}

QString WrongStatus(std::uint8_t status) { return QString::asprintf("wrong status 0x%02X", status); }

QString ReadBackDiffers(std::uint32_t firstAddress, std::size_t count) {
    return QString::asprintf("read-back differs at 0x%06X (%zu bytes)", firstAddress, count);
}

}  // namespace FailureReason
