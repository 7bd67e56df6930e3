// The room's outbox: what is queued once, who may send it, and what a
// sender that dies half-way leaves behind.
#include "MailOutbox.h"
#include "OutboxClaims.h"
#include "SqlValues.h"
#include "TestDatabase.h"
#include "Transaction.h"

#include <QTest>

using namespace taviro;
using namespace taviro::outbox;


class TstOutbox : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    ConnectorPtr m_conn;

    qint64 count(const QString& where = QStringLiteral("1 = 1")) const
    {
        auto n = m_conn->scalar(QStringLiteral("SELECT COUNT(*) FROM mailwachtrij WHERE ") + where);
        return n ? sql::toLong(*n) : -1;
    }

    int queue(const QString& key, const QString& address, qint64 uitmeldId = 0)
    {
        auto n = queueMail(*m_conn, {key, uitmeldId, address, QStringLiteral("Jan"), QStringLiteral("Brand"),
                                     QStringLiteral("b"), {}, {}});
        return n ? *n : -1;
    }

    // As if the lease of every claim had run out by the server's clock.
    void leasesRunOut()
    {
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE mailwachtrij SET claimtot = %1 - 1 WHERE claim <> ''")
                                 .arg(sql::serverNowSeconds(m_conn->dialect()))));
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        m_conn = m_db->connect();
        QVERIFY(m_conn);
    }

    void oneRowPerAddressOncePerKey_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("two, with ;") << QStringLiteral("jan@a.nl;piet@a.nl") << QStringList{QStringLiteral("jan@a.nl"), QStringLiteral("piet@a.nl")};
        QTest::newRow("lines and blanks") << QStringLiteral(" jan@a.nl\r\n\r\npiet@a.nl , ") << QStringList{QStringLiteral("jan@a.nl"), QStringLiteral("piet@a.nl")};
        QTest::newRow("the same twice, other case") << QStringLiteral("jan@a.nl; JAN@a.nl") << QStringList{QStringLiteral("jan@a.nl")};
        QTest::newRow("pasted with a name") << QStringLiteral("Jan de Vries <jan@a.nl>") << QStringList{QStringLiteral("jan@a.nl")};
        QTest::newRow("two, each with a name")
            << QStringLiteral("Jan de Vries <jan@a.nl>; Piet Jansen <piet@a.nl>")
            << QStringList{QStringLiteral("jan@a.nl"), QStringLiteral("piet@a.nl")};
        QTest::newRow("nothing but white space") << QStringLiteral(" \r\n\t") << QStringList{};
    }
    void oneRowPerAddressOncePerKey()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, rows);
        QCOMPARE(queue(QStringLiteral("uitmelding 7"), field, 7), int(rows.size()));
        // The same decision replayed (a second station, a retried commit) adds nothing.
        QCOMPARE(queue(QStringLiteral("uitmelding 7"), field, 7), 0);
        auto listed = listRows(*m_conn, -1, 100);
        QVERIFY(listed);
        QStringList addresses;
        for (const OutboxRow& r : *listed) {
            addresses.prepend(r.address);
            QCOMPARE(r.status, MailStatus::Waiting);
            QCOMPARE(r.uitmeldId, qint64(7));
        }
        QCOMPARE(addresses, rows);
    }

    void aMailQueuedInARolledBackTransactionIsNotOwed()
    {
        {
            Transaction tx(*m_conn);
            QVERIFY(tx.begin());
            QCOMPARE(queue(QStringLiteral("kopie elke 3"), QStringLiteral("alles@a.nl")), 1);
        } // not committed
        QCOMPARE(count(), 0);
    }

    void everyMailIsClaimedByOneSender()
    {
        for (int i = 0; i < 30; ++i)
            QCOMPARE(queue(QStringLiteral("dienst %1").arg(i), QStringLiteral("jan@a.nl")), 1);
        ConnectorPtr otherConn = m_db->connect();
        OutboxClaims a(*m_conn, QStringLiteral("host-a 1")), b(*otherConn, QStringLiteral("host-b 1"));
        QSet<qint64> claimed;
        int turns = 0;
        for (;;) {
            auto next = (turns++ % 3 ? a : b).claimNext();
            QVERIFY(next);
            if (!next->has_value()) {
                auto other = (turns % 3 ? a : b).claimNext();
                QVERIFY(other && !other->has_value());
                break;
            }
            QVERIFY2(!claimed.contains((*next)->row.id), "a mail claimed twice");
            claimed.insert((*next)->row.id);
        }
        QCOMPARE(claimed.size(), 30);
        QCOMPARE(count(QStringLiteral("claim = ''")), 0);
    }

    // A sender that dies between the server's "OK" and recording it: the mail
    // goes again only once the claim is free, and then once.
    void aDeadSendersClaimIsFreedOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("freed");
        QTest::newRow("lease still running") << "wait" << false;
        QTest::newRow("lease ran out") << "lease" << true;
        QTest::newRow("restarted on the same machine") << "restart" << true;
        QTest::newRow("same machine, predecessor still alive") << "alive" << false;
        QTest::newRow("restarted under the same process number") << "samepid" << true;
        QTest::newRow("another machine's claim at a restart") << "elsewhere" << false;
    }
    void aDeadSendersClaimIsFreedOnce()
    {
        QFETCH(QString, how);
        QFETCH(bool, freed);
        QCOMPARE(queue(QStringLiteral("uitmelding 1"), QStringLiteral("jan@a.nl"), 1), 1);
        const QString deadHost = how == QLatin1String("elsewhere") ? QStringLiteral("elders") : QStringLiteral("hier");
        const qint64 deadPid = how == QLatin1String("samepid") ? 4712 : 4711;
        OutboxClaims dead(*m_conn, OutboxClaims::ownerName(deadHost, deadPid));
        auto first = dead.claimNext();
        QVERIFY(first && first->has_value());

        OutboxClaims next(*m_conn, OutboxClaims::ownerName(QStringLiteral("hier"), 4712));
        if (how == QLatin1String("lease"))
            leasesRunOut();
        else if (how != QLatin1String("wait"))
            QVERIFY(next.releaseLeftovers(QStringLiteral("hier"), [&](qint64 pid) {
                return pid == deadPid && how != QLatin1String("restart");
            }));
        auto second = next.claimNext();
        QVERIFY(second);
        QCOMPARE(second->has_value(), freed);
        if (freed) {
            QVERIFY(*next.markSent((*second)->row.id));
            // The dead one's late record changes nothing: the row is not its own any more.
            if (how != QLatin1String("samepid")) {
                QVERIFY(!*dead.markSent(first->value().row.id));
                QVERIFY(!*dead.postpone(first->value().row.id, QStringLiteral("x"), 1, 10));
            }
            auto third = next.claimNext();
            QVERIFY(third && !third->has_value());
            QCOMPARE(count(QStringLiteral("status = 1")), 1);
        } else {
            QVERIFY(*dead.markSent(first->value().row.id));
        }
    }

    void aPostponedMailWaitsItsTurn()
    {
        QCOMPARE(queue(QStringLiteral("uitmelding 2"), QStringLiteral("jan@a.nl"), 2), 1);
        OutboxClaims sender(*m_conn, QStringLiteral("hier 1"));
        auto due = sender.secondsUntilDue();
        QVERIFY(due && due->has_value());
        QCOMPARE(**due, qint64(0));
        auto claimed = sender.claimNext();
        QVERIFY(claimed && claimed->has_value());
        QVERIFY(*sender.postpone((*claimed)->row.id, QStringLiteral("421 later"), (*claimed)->serverNow, 60));
        auto again = sender.claimNext();
        QVERIFY(again && !again->has_value());
        due = sender.secondsUntilDue();
        QVERIFY(due && due->has_value() && **due >= 59 && **due <= 60);
        auto rows = listRows(*m_conn, 0, 10);
        QVERIFY(rows && rows->size() == 1);
        QCOMPARE(rows->first().failures, qint64(1));
        QCOMPARE(rows->first().firstFailure, (*claimed)->serverNow);
        QCOMPARE(rows->first().reason, QStringLiteral("421 later"));
    }

    // What the screens say about a dispatch's mail: the worst of its addresses.
    void aDispatchsMailStateIsItsWorstAddress_data()
    {
        QTest::addColumn<QList<int>>("statuses"); // per address
        QTest::addColumn<int>("expected");        // -1: no row at all
        QTest::newRow("no mail") << QList<int>{} << -1;
        QTest::newRow("sent") << QList<int>{1} << 1;
        QTest::newRow("one sent, one waiting") << QList<int>{1, 0} << 0;
        QTest::newRow("one sent, one given up") << QList<int>{2, 1} << 2;
        QTest::newRow("waiting beats given up") << QList<int>{2, 0} << 0;
    }
    void aDispatchsMailStateIsItsWorstAddress()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(int, expected);
        for (int i = 0; i < statuses.size(); ++i) {
            QCOMPARE(queue(dispatchKey(5), QStringLiteral("p%1@a.nl").arg(i), 5), 1);
            QVERIFY(m_conn->exec(QStringLiteral("UPDATE mailwachtrij SET status = ? WHERE adres = ?"),
                                 {statuses[i], QStringLiteral("p%1@a.nl").arg(i)}));
        }
        QCOMPARE(queue(dispatchKey(6), QStringLiteral("ander@a.nl"), 6), 1); // another dispatch's mail
        auto states = dispatchMailStates(*m_conn, {5});
        QVERIFY(states);
        QCOMPARE(states->contains(5), expected >= 0);
        if (expected >= 0)
            QCOMPARE(int(states->value(5)), expected);
        QVERIFY(!states->contains(6));
    }

    void purgingKeepsWhatStillWaits()
    {
        QCOMPARE(queue(QStringLiteral("a"), QStringLiteral("a@a.nl")), 1);
        QCOMPARE(queue(QStringLiteral("b"), QStringLiteral("b@a.nl")), 1);
        QCOMPARE(queue(QStringLiteral("c"), QStringLiteral("c@a.nl")), 1);
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE mailwachtrij SET aangemaakt = aangemaakt - 40 * 86400")));
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE mailwachtrij SET status = 1 WHERE sleutel = 'b'")));
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE mailwachtrij SET status = 2 WHERE sleutel = 'c'")));
        OutboxClaims sender(*m_conn, QStringLiteral("hier 1"));
        auto purged = sender.purgeFinished(30);
        QVERIFY(purged);
        QCOMPARE(*purged, 2);
        QCOMPARE(count(QStringLiteral("sleutel = 'a'")), 1);
    }
};

QTEST_GUILESS_MAIN(TstOutbox)
#include "tst_outbox.moc"
