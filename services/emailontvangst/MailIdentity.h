#pragma once

#include <QByteArray>

namespace taviro::alarmemail {

// What tells one mail from another when the mailbox's UIDL cannot: some
// servers number their UIDLs, so a new mail gets the UIDL of one deleted
// before. Headers a mail store rewrites as it goes (status flags, its own
// UID and size headers) do not count, so a mail read again is still the
// same mail; line ends do not count either.

// Of the header section: what TOP n 0 gives as well as a whole mail does.
QByteArray headerFingerprint(const QByteArray& rawOrHeaders);
// Of the whole mail, headers and body.
QByteArray mailFingerprint(const QByteArray& raw);

} // namespace taviro::alarmemail
