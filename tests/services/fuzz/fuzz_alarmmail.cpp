// libFuzzer entry: whatever arrives in the alarm mailbox must never crash the
// receiver, hang it, or read outside its buffers.

#include "AlarmMailParser.h"

#include <QByteArray>
#include <QDateTime>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray raw =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto parsed =
        taviro::alarmemail::parseAlarmMail(raw, QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC));
    if (parsed.ok && (parsed.report.melderAlias.isEmpty() || parsed.report.lines.isEmpty()))
        __builtin_trap(); // an accepted mail always names a transmitter and a line
    return 0;
}
