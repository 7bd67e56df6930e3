#pragma once

#include <QString>

namespace taviro {

// Operators' passwords are kept as salted yescrypt hashes ("$y$..."), so
// whoever reads the database (a backup, another operator's editor, a copy on
// a laptop) learns no password and cannot acknowledge in someone else's name.
// A database written by another program may still hold a password as typed:
// it keeps working, and is replaced by its hash at the first successful login.
namespace password {

// True when `stored` is a hash we made (or can check), false for plain text.
bool isHash(const QString& stored);
// A fresh salt each call: two accounts with the same password differ. Empty
// only when the system cannot hash at all.
QString hash(const QString& typed);
// Whether `typed` is the password `stored` stands for, hashed or not.
bool matches(const QString& typed, const QString& stored);

} // namespace password
} // namespace taviro
