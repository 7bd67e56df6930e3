#pragma once

#include "MailOutbox.h"
#include "Result.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace taviro {

class DatabaseConnector;

// One recipient an alarm line was forwarded to, and how far that went.
struct DispatchState
{
    qint64 uitmeldId = 0;
    qint64 ontvangerId = 0;
    QString ontvanger;      // the recipient's name
    qint64 uitmeldtype = 0; // 0 not yet, 1 SMS, 2 e-mail
    bool done = false;
    qint64 pogingen = 0;
    QDateTime date;
    qint64 bevestigtype = 0; // 0 open, 1 operator, 2 the recipient himself, 3 closed in bulk
    QString bevestiger;      // operator's or recipient's name
    QDateTime bevestigdate;
    bool ownAcknowledgement = true; // bevestigtype 2 by this recipient, not by another one of the report
    qint64 escalatieNiveau = 0; // 0: the report's own dispatch; 1: sent because nobody acknowledged; 3: a notice of the acknowledgement
    // What the outbox knows of its e-mail; nothing when it has no row there
    // (no e-mail, handed over before the outbox kept them, or long ago).
    std::optional<outbox::MailStatus> mail;

    // A short Dutch description for the operator: sent, waiting, acknowledged...
    // An e-mail is "verzonden" only once the mail server took it.
    QString stateText() const;

private:
    QString ownStateText() const;
};

// An alarm line as the detail view and the printout show it.
struct DetailLine
{
    qint64 meldindexId = 0;
    QString melderNaam, melderAlias, functie, omschrijving;
    qint64 flank = 0;
    QDateTime meldingDate;
    QList<DispatchState> dispatches; // real recipients only, in order of creation
};

struct MeldingDetail
{
    qint64 meldingId = 0;
    QString naam, alias, adres, plaats, land, telnr; // the transmitter of the first line
    QList<DetailLine> lines;
};

// The lines an operator gets to see of a report: active lines of an active
// transmitter, except plain 24-hour check-ins (a late check-in is listed).
// Every recipient comes from the link table, so two people on duty both show.
Result<MeldingDetail> loadMeldingDetail(const DatabaseConnector& conn, qint64 meldingId);

// "af" for a signal that went off (flank 0), "op" for one that came up.
QString flankText(qint64 flank);
// A moment as the control room reads it: "2-12-2026 10:15:00".
QString generalDateText(const QDateTime& dt);

} // namespace taviro
