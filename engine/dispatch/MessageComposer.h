#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace taviro {

class DatabaseConnector;

// One transmitter's part of an SMS: its header and its alarm lines, each
// ending in a carriage return.
struct SmsGroup
{
    QString header;
    QStringList lines;
};

// An e-mail address as typed in a settings or recipient field, without the
// blanks and line breaks around it; only blanks and breaks count as empty.
QString trimAddress(const QString& s);

struct ComposedEmail
{
    QString subject;
    QString body;
};

// Builds the texts that go out: lines grouped by transmitter (by alias), each
// group under a header that names the transmitter, each line with its point,
// description and edge ("Op"/"Af").
class MessageComposer
{
public:
    static constexpr int kSmsPieceLength = 145;
    enum class EmailMode
    {
        Dispatch = 0,
        Line = 1
    };

    explicit MessageComposer(const DatabaseConnector& conn);

    // The SMS of a dispatch; empty when the dispatch has no lines (any more),
    // nothing when its lines could not be read (the database is away).
    std::optional<QString> composeSmsText(qint64 uitmeldId) const;
    // The e-mail of a dispatch under the configured subject; nothing when
    // the settings or the lines could not be read.
    std::optional<ComposedEmail> composeDispatchEmail(qint64 uitmeldId) const;
    // subjectTemplate: settings.mailsubject, with %MELDER%, %ADRES%, %PLAATS%.
    ComposedEmail composeEmail(qint64 id, EmailMode mode, const QString& subjectTemplate) const;
    QString subjectTemplate() const;

    // Cuts the groups into pieces of 145 characters so that a phone that splits
    // the message still shows each piece under its transmitter's header: every
    // piece starts with the header and is padded with spaces to a multiple of 145.
    static QString packSms(const QList<SmsGroup>& groups);

private:
    struct Line
    {
        QString naam, alias, adres, plaats, functie, omschrijving;
        bool uurs24 = false;
        qint64 flank = 0;
    };
    std::optional<QList<Line>> linesOf(qint64 id, EmailMode mode) const;
    // What an escalation dispatch says before its lines (level 1), or
    // instead of them (level 3, the acknowledgement notice); level 0 for any
    // other dispatch.
    struct Preface
    {
        QString text;
        qint64 level = 0;
    };
    Preface prefaceOf(qint64 uitmeldId) const;
    static ComposedEmail build(const QList<Line>& lines, const QString& subjectTemplate);

    const DatabaseConnector& m_conn;
};

} // namespace taviro
