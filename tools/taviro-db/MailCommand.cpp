#include "MailCommand.h"

#include "DatabaseConnector.h"
#include "MailOutbox.h"

#include <QDateTime>

#include <cstdio>

namespace taviro {

namespace {

QString moment(qint64 serverSeconds)
{
    return serverSeconds > 0
               ? QDateTime::fromSecsSinceEpoch(serverSeconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
               : QStringLiteral("-");
}

QString statusText(const outbox::OutboxRow& r)
{
    switch (r.status) {
    case outbox::MailStatus::Sent: return QStringLiteral("verzonden %1").arg(moment(r.sentAt));
    case outbox::MailStatus::Failed: return QStringLiteral("mislukt: %1").arg(r.reason);
    case outbox::MailStatus::Waiting: break;
    }
    QString text = QStringLiteral("wachtend");
    if (r.failures > 0)
        text += QStringLiteral(", %1 poging(en) mislukt (%2), volgende %3").arg(r.failures).arg(r.reason, moment(r.nextTry));
    if (!r.claim.isEmpty())
        text += QStringLiteral(", wordt verstuurd door %1").arg(r.claim);
    return text;
}

} // namespace

int mailCommand(const QStringList& args)
{
    QString path;
    int status = -1;
    int limit = 50;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--wachtend"))
            status = int(outbox::MailStatus::Waiting);
        else if (a == QLatin1String("--verzonden"))
            status = int(outbox::MailStatus::Sent);
        else if (a == QLatin1String("--mislukt"))
            status = int(outbox::MailStatus::Failed);
        else if (a == QLatin1String("--aantal") && i + 1 < args.size())
            limit = std::max(1, args[++i].toInt());
        else if (!a.startsWith(QLatin1String("--")) && path.isEmpty())
            path = a;
        else {
            std::fprintf(stderr, "Gebruik: taviro-db mail PAD [--wachtend|--verzonden|--mislukt] [--aantal N]\n");
            return 2;
        }
    }
    if (path.isEmpty()) {
        std::fprintf(stderr, "Gebruik: taviro-db mail PAD [--wachtend|--verzonden|--mislukt] [--aantal N]\n");
        return 2;
    }
    auto opened = DatabaseConnector::open(DatabaseSettings::fromText(path), DatabaseConnector::OpenMode::ReadOnly);
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    auto rows = outbox::listRows(**opened, status, limit);
    if (!rows) {
        std::fprintf(stderr, "Mailwachtrij niet leesbaar: %s\n", qPrintable(rows.error()));
        return 1;
    }
    for (const outbox::OutboxRow& r : *rows)
        std::printf("%s\n", qPrintable(QStringLiteral("%1  %2  %3  aan %4  \"%5\"  (%6)  %7")
                                           .arg(r.id)
                                           .arg(moment(r.queuedAt), r.key, r.address, r.subject,
                                                r.recipientName, statusText(r))));
    if (rows->isEmpty())
        std::printf("Geen mails.\n");
    return 0;
}

} // namespace taviro
