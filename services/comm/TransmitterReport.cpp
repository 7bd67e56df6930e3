#include "TransmitterReport.h"

namespace taviro::comm {

namespace {

quint16 byteSum(const QByteArray& line)
{
    quint32 sum = 0;
    for (char c : line)
        sum += quint8(c);
    return quint16(sum);
}

bool validAlias(const QString& alias)
{
    return !alias.isEmpty() && alias.size() <= 20;
}

} // namespace

quint16 reportChecksum(const QList<QByteArray>& lines)
{
    quint16 sum = 0;
    for (const QByteArray& l : lines)
        sum = quint16(sum + byteSum(l));
    return sum;
}

TransmitterReportReader::TransmitterReportReader(QDateTime receivedAt) : m_receivedAt(std::move(receivedAt))
{
    reset();
}

void TransmitterReportReader::reset()
{
    m_state = State::Waiting;
    m_problem.clear();
    m_report = ReceivedReport{};
    m_report.receivedAt = m_receivedAt;
    m_sequence = 0;
    m_sum = 0;
}

TransmitterReportReader::State TransmitterReportReader::fail(const QString& problem)
{
    m_problem = problem;
    m_state = State::Bad;
    return m_state;
}

TransmitterReportReader::State TransmitterReportReader::feed(const QByteArray& raw)
{
    const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
    if (m_state == State::Complete || m_state == State::Bad)
        return m_state;
    if (m_state == State::Waiting) {
        if (!line.startsWith("MELDER "))
            return m_state;
        const QStringList f = QString::fromUtf8(line.mid(7)).split(QLatin1Char(';'));
        bool ok = false;
        const int seq = f.value(1).trimmed().toInt(&ok);
        const QString alias = f.value(0).trimmed();
        if (f.size() < 2 || f.size() > 3 || !validAlias(alias) || !ok || seq < 0 || seq > 65535)
            return fail(QStringLiteral("FORMAAT"));
        m_report.melderAlias = alias;
        m_report.melderNaam = f.value(2).trimmed();
        m_sequence = seq;
        m_sum = byteSum(line);
        m_state = State::Reading;
        return m_state;
    }
    if (line.startsWith("ALARM ")) {
        const QString body = QString::fromUtf8(line.mid(6));
        const qsizetype a = body.indexOf(QLatin1Char(';'));
        const qsizetype b = a < 0 ? -1 : body.indexOf(QLatin1Char(';'), a + 1);
        if (b < 0 || m_report.lines.size() >= MaxLines)
            return fail(QStringLiteral("FORMAAT"));
        ReceivedLine l;
        l.functie = body.left(a).trimmed();
        const QString flank = body.mid(a + 1, b - a - 1).trimmed();
        l.omschrijving = body.mid(b + 1).trimmed();
        if (l.functie.isEmpty() || l.functie.size() > 20)
            return fail(QStringLiteral("FORMAAT"));
        if (flank == QLatin1String("1") || flank.compare(QLatin1String("Op"), Qt::CaseInsensitive) == 0)
            l.flank = 1;
        else if (flank == QLatin1String("0") || flank.compare(QLatin1String("Af"), Qt::CaseInsensitive) == 0)
            l.flank = 0;
        else
            return fail(QStringLiteral("FORMAAT"));
        l.date = m_receivedAt;
        m_report.lines.append(l);
        m_sum = quint16(m_sum + byteSum(line));
        return m_state;
    }
    if (line.startsWith("EINDE ")) {
        bool ok = false;
        const QByteArray hex = line.mid(6).trimmed();
        const uint given = hex.toUInt(&ok, 16);
        if (!ok || hex.size() != 4 || m_report.lines.isEmpty())
            return fail(QStringLiteral("FORMAAT"));
        if (given != m_sum)
            return fail(QStringLiteral("CHECKSUM"));
        m_state = State::Complete;
        return m_state;
    }
    return fail(QStringLiteral("FORMAAT"));
}

} // namespace taviro::comm
