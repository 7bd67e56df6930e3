#include "SettingsDefaults.h"

#include "Schema.h"

namespace taviro {

Settings defaultSettings()
{
    Settings s;
    s.DatabaseVersion = schema::kVersion;
    s.maxpogingen = 3;
    s.mailsubject = QStringLiteral("Taviro %MELDER% Alarm Melding");
    s.MailServerPort = 25;
    s.OntvangstPort = 110;
    s.OntvangstTimeout = 60;
    s.OntvangstInterval = 5;
    s.OnbemandRoosterActief = true;
    s.AutoBemandNaInloggen = true;
    s.AutoOnbemandNaUitloggen = true;
    return s;
}

} // namespace taviro
