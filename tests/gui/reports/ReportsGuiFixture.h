#pragma once

#include "Console.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"
#include "ReportFixture.h"
#include "ReportPrinter.h"
#include "ScriptedPrompt.h"

#include <QFile>
#include <QPrinter>
#include <QProcess>

namespace taviro::test {

// The report history of ReportFixture with a console on it, operator 1
// logged in, and printers that write PDF files a test can read back.
struct ReportsGuiFixture : ReportFixture
{
    FakeClock clock{QDateTime(QDate(2026, 12, 2), QTime(11, 0))};
    EventLog log{clock, db.folder() + QStringLiteral("/Logger/")};
    FakeSmsService sms;
    FakeMailSender mail;
    Console console{*conn, clock, log, sms, mail};
    ScriptedPrompt prompt;
    QString pdfPath = db.folder() + QStringLiteral("/melding.pdf");

    ReportsGuiFixture() { console.setGebruikerId(kOperator); }

    // A report at 10:15 with the break-in sent to Jan and Marieke (both still
    // open) and the fire line booked without a recipient.
    qint64 forwardedReport(const QDateTime& when)
    {
        const qint64 m = melding(when, false);
        const qint64 l1 = line(m, inbraak, 1, when);
        const qint64 l2 = line(m, brand, 0, when);
        link(dispatch(jan, when.addSecs(60), true, 1), l1);
        link(dispatch(marieke, when.addSecs(60), false, 0), l1);
        link(dispatch(0, when, true, 0), l2);
        return m;
    }

    PrinterSource pdfPrinter(const QString& path)
    {
        return [path](QString*) {
            auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(path);
            return p;
        };
    }

    static QString pdfText(const QString& path)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
        if (!p.waitForFinished(20000))
            return {};
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QString logText() const
    {
        QFile f(log.fileFor(clock.now()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

} // namespace taviro::test
