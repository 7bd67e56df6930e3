#include "Mes6Line.h"

namespace taviro::mes6 {

quint8 mes6Check(const QByteArray& body)
{
    quint8 x = 0;
    for (char c : body)
        x ^= quint8(c);
    return x;
}

Mes6Line parseMes6Line(const QByteArray& raw, const QDateTime& receivedAt)
{
    Mes6Line out;
    const QByteArray line = raw.trimmed();
    const qsizetype star = line.lastIndexOf('*');
    if (star < 0 || line.size() - star != 3) {
        out.problem = QStringLiteral("geen controlegetal");
        return out;
    }
    bool hexOk = false;
    const uint given = line.mid(star + 1).toUInt(&hexOk, 16);
    const QByteArray body = line.left(star);
    if (!hexOk || given != mes6Check(body)) {
        out.problem = QStringLiteral("controlegetal klopt niet");
        return out;
    }
    const QList<QByteArray> f = body.split(',');
    if (f.size() < 5) {
        out.problem = QStringLiteral("te weinig velden");
        return out;
    }
    bool seqOk = false;
    out.sequence = f.at(0).toInt(&seqOk);
    const QString alias = QString::fromUtf8(f.at(1)).trimmed();
    const QString functie = QString::fromUtf8(f.at(2)).trimmed();
    const QByteArray flank = f.at(3).trimmed().toUpper();
    if (!seqOk || out.sequence < 0 || out.sequence > 9 || alias.isEmpty() || alias.size() > 20 || functie.isEmpty()
        || functie.size() > 20 || !(flank == "1" || flank == "0" || flank == "OP" || flank == "AF")) {
        out.problem = QStringLiteral("ongeldig veld");
        return out;
    }
    ReceivedLine l;
    l.functie = functie;
    l.flank = (flank == "1" || flank == "OP") ? 1 : 0;
    // The description may itself hold commas.
    l.omschrijving = QString::fromUtf8(body.mid(f.at(0).size() + f.at(1).size() + f.at(2).size() + f.at(3).size() + 4)).trimmed();
    l.date = receivedAt;
    out.report.melderAlias = alias;
    out.report.receivedAt = receivedAt;
    out.report.lines.append(l);
    out.ok = true;
    return out;
}

} // namespace taviro::mes6
