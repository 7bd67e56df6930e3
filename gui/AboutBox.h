#pragma once

#include <QString>

class QWidget;

namespace taviro {

// "6.1 Build: 23" from a version "6.1.23": major.minor, then the revision.
QString versionText(const QString& version);
// The line the about window opens with: "Mereth Taviro " and the version text.
QString aboutText();
// Opens the about window ("&Info...") without holding up the console: alarms
// keep coming in while it is open.
void showAboutBox(QWidget* parent);

} // namespace taviro
