#include "MailIdentity.h"

#include <QCryptographicHash>
#include <QList>

namespace taviro::alarmemail {

namespace {

// Kept up to date by mail stores and POP3 servers themselves, not by the sender.
bool rewrittenByTheStore(const QByteArray& line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    const QByteArray name = line.left(colon).trimmed().toLower();
    static const QList<QByteArray> names{"status",     "x-status",  "x-keywords",       "x-uid",
                                         "x-uidl",     "x-imap",    "x-imapbase",       "content-length",
                                         "lines",      "x-mozilla-status", "x-mozilla-status2"};
    return names.contains(name);
}

struct Sections
{
    QByteArray headers; // unfolded header lines joined by "\n", store headers left out
    QByteArray body;    // with "\n" line ends
};

Sections split(const QByteArray& raw)
{
    Sections out;
    QByteArray normalised = raw;
    normalised.replace("\r\n", "\n");
    qsizetype end = normalised.indexOf("\n\n");
    if (normalised.startsWith('\n'))
        end = 0;
    const QByteArray head = end < 0 ? normalised : normalised.left(end);
    out.body = end < 0 ? QByteArray() : normalised.mid(end + (end == 0 ? 1 : 2));
    QList<QByteArray> fields;
    for (const QByteArray& line : head.split('\n')) {
        if ((line.startsWith(' ') || line.startsWith('\t')) && !fields.isEmpty())
            fields.last() += line;
        else if (!line.isEmpty())
            fields.append(line);
    }
    for (const QByteArray& field : std::as_const(fields))
        if (!rewrittenByTheStore(field))
            out.headers += field.trimmed() + '\n';
    return out;
}

QByteArray digest(const QByteArray& data)
{
    // 128 bits: far beyond any mailbox's number of mails, short enough for a key.
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().left(32);
}

} // namespace

QByteArray headerFingerprint(const QByteArray& rawOrHeaders)
{
    return digest(split(rawOrHeaders).headers);
}

QByteArray mailFingerprint(const QByteArray& raw)
{
    const Sections s = split(raw);
    return digest(s.headers + '\n' + s.body);
}

} // namespace taviro::alarmemail
