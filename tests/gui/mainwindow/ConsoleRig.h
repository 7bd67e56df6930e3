#pragma once

// A console window on a real database file, wired as the program wires it,
// with the SMS and mail services replaced by recorders.
#include "AlarmLamp.h"
#include "Console.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"
#include "MainWindow.h"
#include "PanelHost.h"
#include "ScriptedPrompt.h"
#include "ServiceKiller.h"
#include "SqlReportStore.h"
#include "TestDatabase.h"

#include <QCoreApplication>
#include <QLabel>

#include <memory>

namespace taviro::test {

// Everything a console window needs, wired as the program wires it.
struct Rig
{
    TestDatabase db{true};
    ConnectorPtr conn = db.connect();
    FakeClock clock{QDateTime(QDate(2026, 12, 2), QTime(10, 15, 0))};
    ScriptedPrompt prompt;
    EventLog log{clock, db.folder() + QStringLiteral("/Logger/")};
    ServiceKiller killer{QCoreApplication::applicationDirPath(), [](int) {}};
    FakeSmsService sms;
    FakeMailSender mail;
    Console console{*conn, clock, log, sms, mail};
    AlarmLamp lamp{log};
    std::unique_ptr<MainWindow> window;

    // Maximised, the window is shown as the program shows it before loading.
    void open(const QStringList& args, bool maximised = false)
    {
        window = std::make_unique<MainWindow>(MainWindow::Deps{*conn, db.settings(), clock, prompt, log, killer, console, lamp,
                                                               QString(), [this] { lamp.prepare(*conn); }, {}, {}});
        if (maximised)
            window->showMaximized();
        else
            window->show();
        window->load(args);
    }
    template <class T>
    T* find(const QString& name) const
    {
        return window->findChild<T*>(name);
    }
    QString label(const QString& name) const { return find<QLabel>(name)->text(); }
    // A control of the panel on view: editors share their controls' names.
    template <class T>
    T* shown(const QString& name) const
    {
        return window->panels().panel(window->panels().currentKey())->findChild<T*>(name);
    }

    qint64 storeReport(const QString& melder, const QString& functie)
    {
        ReceivedReport r;
        r.melderAlias = melder;
        r.receivedAt = clock.now();
        ReceivedLine line;
        line.functie = functie;
        line.date = clock.now();
        r.lines.append(line);
        auto id = SqlReportStore(*conn).store(r);
        return id ? *id : 0;
    }
};

} // namespace taviro::test
