#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace taviro {

// What an operator asks for on the overview panels: which transmitters, which
// days (both inclusive), whether lines of points out of service count, and the
// stylesheet the document names.
struct OverzichtRequest
{
    QList<qint64> melderIds; // in the order of the transmitter list
    QDate from;
    QDate to;
    bool includeInactive = false;
    QString stylesheet = QStringLiteral("overzicht.xsl");
};

namespace overzicht {
inline const QString kXmlFile = QStringLiteral("overzicht.xml");
inline const QString kPeriodStylesheet = QStringLiteral("overzicht.xsl");
inline const QString kDayStylesheet = QStringLiteral("overzicht2.xsl");
} // namespace overzicht

} // namespace taviro
