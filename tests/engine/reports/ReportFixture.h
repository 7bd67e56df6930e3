#pragma once

#include "Installation.h"
#include "Repositories.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QTest>

namespace taviro::test {

// A database with history written row by row, so a test decides exactly which
// dispatch each line has: transmitter 1001 "Kantoor Centrum" with points 01
// "Inbraak hal", 02 "Brand keuken" and 24-hour point 03 "Dagtest";
// recipients Jan (alias "JAN") and Marieke (alias "MAR"); operator 1 "op1".
struct ReportFixture
{
    TestDatabase db;
    ConnectorPtr conn = db.connect();
    qint64 jan = 0, marieke = 0, melder = 0, inbraak = 0, brand = 0, dagtest = 0;
    static constexpr qint64 kOperator = 1;

    ReportFixture()
    {
        Installation inst(*conn);
        jan = inst.recipient(QStringLiteral("Jan de Vries"), QStringLiteral("+31612345678"), {}, true, false);
        marieke = inst.recipient(QStringLiteral("Marieke Bakker"), QStringLiteral("+31623456789"), {}, true, false);
        melder = inst.transmitter(QStringLiteral("1001"), QStringLiteral("Kantoor Centrum"), 1, 0, 0);
        inbraak = inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak hal"));
        brand = inst.point(melder, QStringLiteral("02"), QStringLiteral("Brand keuken"));
        dagtest = inst.point(melder, QStringLiteral("03"), QStringLiteral("Dagtest"), 0, 0, true);
        if (!inst.ok())
            qFatal("%s", qPrintable(inst.error()));
    }

    static QDateTime at(int day, int h, int m) { return QDateTime(QDate(2026, 12, day), QTime(h, m)); }

    qint64 melding(const QDateTime& date, bool bemand, bool show = true)
    {
        Melding m;
        m.melding_date = date;
        m.bemand = bemand;
        m.show = show;
        m.seen = true;
        return check(MeldingRepository(*conn).insert(m));
    }

    qint64 line(qint64 meldingId, qint64 alarmId, qint64 flank, const QDateTime& date, bool actief = true,
                bool uurs24 = false, qint64 uitmeldId = 0)
    {
        MeldIndex l;
        l.melding_id = meldingId;
        l.melder_id = melder;
        l.alarm_id = alarmId;
        l.flank = flank;
        l.date = date;
        l.actief = actief;
        l.uurs24 = uurs24;
        l.uitmeld_id = uitmeldId;
        return check(MeldIndexRepository(*conn).insert(l));
    }

    qint64 dispatch(qint64 ontvanger, const QDateTime& date, bool done = true, qint64 type = 1,
                    qint64 bevestigtype = 0, qint64 bevestiger = 0, const QDateTime& bevestigdate = {})
    {
        Uitmeld u;
        u.ontvanger_id = ontvanger;
        u.date = date;
        u.done = done;
        u.uitmeldtype = type;
        u.pogingen = done && type == 1 ? 1 : 0;
        u.bevestigtype = bevestigtype;
        u.bevestiger = bevestiger;
        u.bevestigdate = bevestigdate;
        return check(UitmeldRepository(*conn).insert(u));
    }

    // Links the line to the dispatch, and like dispatch creation keeps the
    // last one in meldindex.uitmeld_id.
    void link(qint64 uitmeldId, qint64 meldindexId)
    {
        UitmeldLink l;
        l.uitmeld_id = uitmeldId;
        l.meldindex_id = meldindexId;
        check(UitmeldLinkRepository(*conn).insert(l));
        check(conn->exec(QStringLiteral("UPDATE meldindex SET uitmeld_id = ? WHERE id = ?"), {uitmeldId, meldindexId}));
    }

    // The morning of 2 December: the report kinds an overview has to tell apart.
    void morning()
    {
        // 10:15 unmanned: the break-in went to Jan and Marieke; Jan's dispatch
        // acknowledged at the console, Marieke acknowledged by SMS herself. The
        // fire line came from a point out of service.
        const qint64 a = melding(at(2, 10, 15), false);
        const qint64 a1 = line(a, inbraak, 1, at(2, 10, 15));
        const qint64 a2 = line(a, brand, 0, at(2, 10, 15), false);
        link(dispatch(jan, at(2, 10, 16), true, 1, 1, kOperator, at(2, 10, 30)), a1);
        link(dispatch(marieke, at(2, 10, 16), true, 1, 2, marieke, at(2, 10, 40)), a1);
        link(dispatch(0, at(2, 10, 15), true, 0), a2);
        // 09:00 while manned: booked, not forwarded.
        const qint64 b = melding(at(2, 9, 0), true);
        link(dispatch(0, at(2, 9, 0), true, 0), line(b, inbraak, 1, at(2, 9, 0)));
        // 08:00 with nobody on duty: no dispatch at all.
        line(melding(at(2, 8, 0), false), brand, 1, at(2, 8, 0));
        // 07:00 the daily check-in.
        line(melding(at(2, 7, 0), false), dagtest, 1, at(2, 7, 0), true, true);
        // 06:00 a check-in of a point out of service: nothing to show.
        line(melding(at(2, 6, 0), false), dagtest, 1, at(2, 6, 0), false, true);
    }

    qint64 number(const QString& sqlText, const QVariantList& binds = {}) const
    {
        auto v = conn->scalar(sqlText, binds);
        return v ? sql::toLong(*v) : -1;
    }

    template <class R>
    static qint64 check(const R& r)
    {
        if (!r)
            qFatal("%s", qPrintable(r.error()));
        if constexpr (std::is_same_v<R, Result<qint64>>)
            return *r;
        else
            return 0;
    }
};

} // namespace taviro::test
