#include "MailOutbox.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace taviro::outbox {

QString dispatchKey(qint64 uitmeldId)
{
    return QStringLiteral("uitmelding %1").arg(uitmeldId);
}

QString everyReportCopyKey(qint64 meldindexId)
{
    return QStringLiteral("kopie elke %1").arg(meldindexId);
}

QString unmannedCopyKey(qint64 meldindexId)
{
    return QStringLiteral("kopie onbemand %1").arg(meldindexId);
}

QString silentConsoleKey(const QString& console, qint64 hartslag)
{
    return QStringLiteral("stil %1 %2").arg(console).arg(hartslag);
}

QStringList splitAddresses(const QString& field)
{
    static const QRegularExpression entries(QStringLiteral("[;,\\r\\n]+"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList out;
    auto add = [&out](const QString& address) {
        if (!address.isEmpty() && !out.contains(address, Qt::CaseInsensitive))
            out << address;
    };
    for (const QString& entry : field.split(entries, Qt::SkipEmptyParts)) {
        // "Naam <adres>" pasted from a mail program: keep the address, not the name's words.
        const qsizetype open = entry.indexOf(QLatin1Char('<'));
        if (open >= 0) {
            const qsizetype close = entry.indexOf(QLatin1Char('>'), open);
            add(entry.mid(open + 1, close < 0 ? -1 : close - open - 1).trimmed());
            continue;
        }
        for (const QString& address : entry.split(blanks, Qt::SkipEmptyParts))
            add(address);
    }
    return out;
}

Result<int> queueMail(const DatabaseConnector& conn, const OutgoingMail& mail)
{
    const QString now = sql::serverNowSeconds(conn.dialect());
    const QString attachment = QString::fromLatin1(mail.attachment.toBase64());
    int queued = 0;
    for (const QString& address : splitAddresses(mail.address)) {
        // A key queued before (the same decision replayed) adds nothing.
        auto q = conn.query(
            QStringLiteral("INSERT INTO mailwachtrij (sleutel, uitmeld_id, adres, naam, onderwerp, inhoud, "
                           "bijlagenaam, bijlage, status, pogingen, reden, aangemaakt, volgende, eerstefout, "
                           "verzonden, claim, claimtot) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, 0, '', %1, %1, 0, 0, "
                           "'', 0) ON CONFLICT DO NOTHING")
                .arg(now),
            {sql::textValue(mail.key), sql::keyValue(mail.uitmeldId), sql::textValue(address),
             sql::textValue(mail.recipientName), sql::textValue(mail.subject), sql::textValue(mail.body),
             sql::textValue(mail.attachmentName), sql::textValue(attachment)});
        if (!q)
            return Result<int>::failure(q.error());
        queued += q->numRowsAffected() > 0 ? 1 : 0;
    }
    return queued;
}

QString rowColumns()
{
    return QStringLiteral("id, sleutel, uitmeld_id, adres, naam, onderwerp, inhoud, bijlagenaam, bijlage, status, "
                          "pogingen, reden, aangemaakt, volgende, eerstefout, verzonden, claim, claimtot");
}

OutboxRow rowFrom(const QSqlQuery& q, int first)
{
    auto at = [&](int i) { return q.value(first + i); };
    OutboxRow r;
    r.id = sql::toLong(at(0));
    r.key = sql::toText(at(1));
    r.uitmeldId = sql::toLong(at(2));
    r.address = sql::toText(at(3));
    r.recipientName = sql::toText(at(4));
    r.subject = sql::toText(at(5));
    r.body = sql::toText(at(6));
    r.attachmentName = sql::toText(at(7));
    r.attachment = QByteArray::fromBase64(sql::toText(at(8)).toLatin1());
    r.status = MailStatus(sql::toLong(at(9)));
    r.failures = sql::toLong(at(10));
    r.reason = sql::toText(at(11));
    r.queuedAt = sql::toLong(at(12));
    r.nextTry = sql::toLong(at(13));
    r.firstFailure = sql::toLong(at(14));
    r.sentAt = sql::toLong(at(15));
    r.claim = sql::toText(at(16));
    r.claimUntil = sql::toLong(at(17));
    return r;
}

Result<QHash<qint64, MailStatus>> dispatchMailStates(const DatabaseConnector& conn, const QList<qint64>& uitmeldIds)
{
    using R = Result<QHash<qint64, MailStatus>>;
    QHash<qint64, MailStatus> states;
    // What the operator needs first: still on its way beats given up beats gone.
    auto rank = [](MailStatus s) { return s == MailStatus::Waiting ? 2 : s == MailStatus::Failed ? 1 : 0; };
    constexpr qsizetype kChunk = 400;
    for (qsizetype from = 0; from < uitmeldIds.size(); from += kChunk) {
        QVariantList binds;
        QStringList marks;
        for (qint64 id : uitmeldIds.mid(from, kChunk)) {
            binds << sql::keyValue(id);
            marks << QStringLiteral("?");
        }
        auto q = conn.query(QStringLiteral("SELECT uitmeld_id, status FROM mailwachtrij WHERE uitmeld_id IN (%1)")
                                .arg(marks.join(QLatin1Char(','))),
                            binds);
        if (!q)
            return R::failure(q.error());
        while (q->next()) {
            const qint64 id = sql::toLong(q->value(0));
            const MailStatus s = MailStatus(sql::toLong(q->value(1)));
            const auto it = states.constFind(id);
            if (it == states.constEnd() || rank(s) > rank(*it))
                states.insert(id, s);
        }
    }
    return states;
}

Result<QList<OutboxRow>> listRows(const DatabaseConnector& conn, int status, int limit)
{
    using R = Result<QList<OutboxRow>>;
    auto q = conn.query(QStringLiteral("SELECT %1 FROM mailwachtrij WHERE (? OR status = ?) ORDER BY id DESC LIMIT %2")
                            .arg(rowColumns())
                            .arg(limit),
                        {sql::boolValue(status < 0), sql::keyValue(status)});
    if (!q)
        return R::failure(q.error());
    QList<OutboxRow> rows;
    while (q->next())
        rows.append(rowFrom(*q));
    return rows;
}

} // namespace taviro::outbox
