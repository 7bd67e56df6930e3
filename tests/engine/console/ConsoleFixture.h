#pragma once

#include "Console.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"
#include "Installation.h"
#include "OutboxMails.h"
#include "SqlReportStore.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QCoreApplication>
#include <QFile>

namespace taviro::test {

// A console on a fresh database: transmitter 1001 forwards to a week schedule
// in which, on Wednesday's day block, Jan (SMS and e-mail) and Marieke (SMS
// only) are on duty. The clock stands on Wednesday 2 December 2026, 10:15.
struct ConsoleFixture
{
    TestDatabase db;
    ConnectorPtr conn = db.connect();
    FakeClock clock;
    EventLog log{clock, db.folder() + QStringLiteral("/Logger/")};
    FakeSmsService sms;
    FakeMailSender mail;
    Console console{*conn, clock, log, sms, mail};
    SqlReportStore store{*conn};
    qint64 jan = 0, marieke = 0, week = 0, melder = 0;

    ConsoleFixture()
    {
        Installation inst(*conn);
        jan = inst.recipient(QStringLiteral("Jan de Vries"), QStringLiteral("+31612345678"),
                             QStringLiteral(" jan@example.nl\r\n"), true, true);
        marieke = inst.recipient(QStringLiteral("Marieke Bakker"), QStringLiteral("+31623456789"),
                                 {}, true, false);
        WeekPlanning w = inst.weekTemplate(QStringLiteral("STD"));
        for (int day = 0; day < 7; ++day) {
            w.cells[WeekPlanning::cellIndex(0, day, 0)] = jan;
            w.cells[WeekPlanning::cellIndex(1, day, 0)] = marieke;
        }
        week = inst.week(w);
        melder =
            inst.transmitter(QStringLiteral("1001"), QStringLiteral("Kantoor Centrum"), 1, week, 0);
        inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak hal"));
        inst.point(melder, QStringLiteral("02"), QStringLiteral("Brand keuken"));
        inst.settings([](Settings& s) {
            s.maxpogingen = 3;
            s.mailsubject = QStringLiteral("Taviro %melder% Alarm Melding");
        });
        if (!inst.ok())
            qFatal("%s", qPrintable(inst.error()));
        console.setSmsSettleMsecs(0);
        if (!console.loadPlanningCache())
            qFatal("schedule cache");
    }

    qint64 report(const QStringList& functies, const QString& alias = QStringLiteral("1001"))
    {
        ReceivedReport r;
        r.melderAlias = alias;
        r.receivedAt = clock.now();
        for (const QString& f : functies)
            r.lines.append({f, QStringLiteral("Nieuw punt ") + f, 1, {}, {}, {}});
        auto id = store.store(r);
        return id ? *id : 0;
    }

    // Lets the passes that follow a delivering pass run.
    void settle()
    {
        for (int i = 0; i < 50; ++i)
            QCoreApplication::processEvents();
    }

    qint64 number(const QString& sql, const QVariantList& binds = {}) const
    {
        auto v = conn->scalar(sql, binds);
        return v ? sql::toLong(*v) : -1;
    }

    // What the room owes by mail, oldest first, one row per address.
    QList<outbox::OutboxRow> mails() const { return outboxMails(*conn); }

    QString logText() const
    {
        QFile f(log.fileFor(clock.now()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

} // namespace taviro::test
