#pragma once

#include <QString>

namespace taviro::journal {

// Whether this process's stderr is the system journal's stream (the service
// manager then names that stream in JOURNAL_STREAM as "device:inode"). Only
// then do lines carry the journal's "<N>" priority prefix, and only then
// must what reaches stderr be kept to what the journal's readers may see.
bool stderrIsJournal();

// How much of the event log the installer lets into the journal, from
// TAVIRO_JOURNAL_LEVEL: 0 (the default) only the lines an operator must see,
// with phone numbers left out; 1 every line as written.
int levelFromEnvironment();

// The line with every phone number (eight or more digits, possibly with a
// leading + and single blanks between digits) replaced by "[nummer]".
QString withoutPhoneNumbers(const QString& line);

} // namespace taviro::journal
