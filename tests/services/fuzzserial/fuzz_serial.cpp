// libFuzzer entry: whatever a modem, a dialling transmitter or the MES-6 unit
// puts on the line must never crash a receiver, hang it, or read outside its
// buffers. The first byte picks the reader; the rest is the line traffic.

#include "AtResponse.h"
#include "E164.h"
#include "IncomingReplies.h"
#include "ModemErrors.h"
#include "ModemHealth.h"
#include "Mes6Line.h"
#include "SmsEncoding.h"
#include "TransmitterReport.h"

#include <QByteArray>
#include <QDateTime>

#include <cstddef>
#include <cstdint>

using namespace taviro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray raw = QByteArray(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const QDateTime at(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    modem::LineSplitter splitter;
    splitter.feed(raw);
    QList<QByteArray> lines;
    while (splitter.hasLine())
        lines.append(splitter.takeLine());
    switch (data[0] % 4) {
    case 0: {
        comm::TransmitterReportReader reader(at);
        for (const QByteArray& l : lines) {
            if (reader.feed(l) == comm::TransmitterReportReader::State::Complete) {
                if (reader.report().melderAlias.isEmpty() || reader.report().lines.isEmpty())
                    __builtin_trap(); // a complete report always names a transmitter and a line
                reader.reset();
            } else if (reader.state() == comm::TransmitterReportReader::State::Bad) {
                reader.reset();
            }
        }
        break;
    }
    case 1:
        for (const QByteArray& l : lines) {
            const auto m = mes6::parseMes6Line(l, at);
            if (m.ok && m.report.lines.size() != 1)
                __builtin_trap();
        }
        break;
    case 2: {
        QStringList skipped;
        const auto listed = sms::parsePduList(lines, &skipped);
        const sms::StoreContents store = sms::readStore(listed);
        for (const auto& m : store.complete) {
            if (m.indexes.isEmpty())
                __builtin_trap(); // a reply always names the store places to delete
            sms::parseReply(m.text);
            (void)sms::toE164(m.sender, QStringLiteral("31"));
        }
        for (const QByteArray& l : lines) {
            modem::finalResultOf(l);
            modem::describeModemError(l);
            QString why;
            sms::decodeDeliverPdu(l, -1, &why);
        }
        sms::judgeModem({lines.value(0), lines.value(1), lines.value(2), lines.value(3)});
        break;
    }
    default: {
        const QString text = QString::fromUtf8(raw);
        for (const QString& piece : sms::splitPieces(text)) {
            if (piece.size() > sms::PieceLength)
                __builtin_trap();
            sms::fitsTextMode(piece);
            if (const auto n = sms::parsePhoneNumber(QStringLiteral("+31612345678")))
                for (const auto& pdu : sms::buildUcs2Pdus(*n, {}, piece, 1))
                    // Nine header octets and six of address: never more than 140 octets of user data.
                    if (pdu.tpduLength > 9 + 6 + 140)
                        __builtin_trap();
        }
        break;
    }
    }
    return 0;
}
