#pragma once

#include <QByteArray>
#include <QString>

namespace taviro::alarmemail {

// What a receiver needs of a mail: its subject for the log and its readable
// text. Diallers and controllers send plain text, quoted-printable, base64,
// HTML-only and multipart mails in UTF-8 or one of the Western code pages,
// with Windows or Unix line ends; all of them come out here as plain text
// with "\n" line ends.
struct MailText
{
    QString subject;
    QString sender; // the From header, for log lines
    QString text;
    bool fromHtml = false;
    bool found = false;         // false: the mail holds no text part at all
    qsizetype ignoredBytes = 0; // of the text part, beyond MaxTextBytes
};

// An alarm mail's text is a few lines per alarm point; no more than this of
// a text part is read, so a huge or hostile mail costs no more than a real one.
constexpr qsizetype MaxTextBytes = 256 * 1024;

MailText extractText(const QByteArray& rawMail);

// Pieces, public for the tests.
QString decodeHeader(const QByteArray& value);
QByteArray decodeQuotedPrintable(const QByteArray& data, bool headerStyle = false);
QString decodeCharset(const QByteArray& data, const QByteArray& charset);
QString htmlToText(const QString& html);

} // namespace taviro::alarmemail
