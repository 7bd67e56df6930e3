#pragma once

#include "Console.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"
#include "TestDatabase.h"

namespace taviro::bench {

// A fresh database with transmitter 1001 (points 01, 02, 03) forwarding to a
// week schedule with two people on duty, and a console on it with in-process
// SMS and mail services, at Wednesday 10:15.
struct BenchSetup
{
    test::TestDatabase db;
    ConnectorPtr conn;
    test::FakeClock clock;
    EventLog log{clock, db.folder() + QStringLiteral("/Logger/")};
    test::FakeSmsService sms;
    test::FakeMailSender mail;
    std::unique_ptr<Console> console;
    QString error;

    BenchSetup();
    ReceivedReport report() const;
};

// Peak resident set size of this process in MiB.
double peakRssMib();

int runStorm(int reports);
int runBigTable(int rows);

} // namespace taviro::bench
