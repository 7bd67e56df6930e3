// TaviroComm against a fake modem on a pseudo-terminal: a transmitter dials
// in, sends its report, and the report lands in the database exactly once.

#include "ChildProcess.h"
#include "FakeModem.h"
#include "ReceiverProxies.h"
#include "TestDatabase.h"
#include "TransmitterReport.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace taviro;

namespace {

constexpr int Com = 5;

QList<QByteArray> report(const QByteArray& alias, int seq, const QList<QByteArray>& alarms,
                         int checksumOffset = 0)
{
    QList<QByteArray> lines{"MELDER " + alias + ';' + QByteArray::number(seq)};
    for (const QByteArray& a : alarms)
        lines.append("ALARM " + a);
    const quint16 sum = quint16(comm::reportChecksum(lines) + checksumOffset);
    lines.append("EINDE " + QByteArray::number(sum, 16).rightJustified(4, '0').toUpper());
    return lines;
}

} // namespace

class TestCommReceiver : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    std::unique_ptr<test::FakeModem> m_modem;
    std::unique_ptr<CommReceiverProxy> m_receiver;
    QStringList m_log;

    qint64 count(const QString& sql)
    {
        auto c = m_db->connect();
        auto v = c->scalar(sql);
        return v ? v->toLongLong() : -1;
    }

    bool dial(const QList<QByteArray>& lines, int hangUpAfter = -1)
    {
        m_modem->call(lines, hangUpAfter);
        return QTest::qWaitFor([this] { return m_modem->callOver(); }, 15000) &&
               QTest::qWaitFor([this] { return m_receiver->isIdle(); }, 5000);
    }

    void startReceiver()
    {
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroComm"), test::binDir(),
                                                    m_db->settings());
        o.callTimeoutMs = 20000;
        o.extraEnvironment = {QStringLiteral("TAVIRO_COM%1=%2").arg(Com).arg(m_modem->devicePath()),
                              QStringLiteral("TAVIRO_COMM_COMMAND_MS=1500"),
                              QStringLiteral("TAVIRO_COMM_LINE_MS=1500"),
                              QStringLiteral("TAVIRO_COMM_GUARD_MS=50")};
        m_receiver = std::make_unique<CommReceiverProxy>(o);
        connect(m_receiver.get(), &CommReceiver::meldingMessage, this,
                [this](const QString& text, int) { m_log << text; });
        QVERIFY(m_receiver->startUp({Com, 9600, QStringLiteral("AT&FE0M0&C1&D2%C0S0=0W1&W"), 2, 8,
                                     QStringLiteral("N"), 1}));
        QVERIFY(m_receiver->portOpen());
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        m_modem = std::make_unique<test::FakeModem>();
        QVERIFY(m_modem->ok());
        m_log.clear();
        startReceiver();
        QVERIFY(m_modem->commands().contains("AT&FE0M0&C1&D2%C0S0=0W1&W"));
    }

    void cleanup()
    {
        if (m_receiver)
            m_receiver->closeAll();
        m_receiver.reset();
        m_modem.reset();
        m_db.reset();
    }

    void callIsAnsweredAndStored_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<int>("hangUpAfter");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("two alarm lines")
            << report("4711", 17, {"01;Op;Inbraak hal", "02;0;Brand keuken; verdieping 2"}) << -1
            << 1 << QByteArray("ACK 17");
        QTest::newRow("wrong checksum") << report("4711", 18, {"01;Op;Inbraak hal"}, 1) << -1 << 0
                                        << QByteArray("NAK CHECKSUM");
        QTest::newRow("malformed alarm line")
            << report("4711", 19, {"01 Op Inbraak"}) << -1 << 0 << QByteArray("NAK FORMAAT");
        QTest::newRow("unknown edge")
            << report("4711", 20, {"01;misschien;Inbraak"}) << -1 << 0 << QByteArray("NAK FORMAAT");
        QTest::newRow("caller hangs up mid-report")
            << report("4711", 21, {"01;Op;a", "02;Op;b", "03;Op;c"}) << 2 << 0 << QByteArray();
        QTest::newRow("noise before the report")
            << QList<QByteArray>{"~~~", "HELLO"} + report("4711", 22, {"07;Af;Deur"}) << -1 << 1
            << QByteArray("ACK 22");
    }

    void callIsAnsweredAndStored()
    {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(int, hangUpAfter);
        QFETCH(int, stored);
        QFETCH(QByteArray, answer);
        QSignalSpy ready(m_receiver.get(), &CommReceiver::meldingReady);
        QVERIFY(dial(lines, hangUpAfter));
        const auto answers = m_modem->callAnswers();
        if (answer.isEmpty())
            QVERIFY(answers.isEmpty());
        else
            QCOMPARE(answers.value(0), answer);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), stored);
        if (stored) {
            QVERIFY(!ready.isEmpty() || ready.wait(5000));
            QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldindex")),
                     lines.size() - 2 - (lines.first() == "~~~" ? 2 : 0));
            // A transmitter nobody configured yet is added for the operator to look at.
            QCOMPARE(count(QStringLiteral(
                         "SELECT COUNT(*) FROM melders WHERE alias = '4711' AND \"new\" <> 0")),
                     1);
            QVERIFY(QTest::qWaitFor(
                [this] { return !m_log.filter(QStringLiteral("Onbekende melder 4711")).isEmpty(); }, 5000));
        }
        QVERIFY(m_receiver->portOpen());
    }

    void repeatedCallIsStoredOnce()
    {
        const auto lines = report("900", 5, {"01;Op;Overstroming"});
        QVERIFY(dial(lines));
        QVERIFY(dial(lines)); // the transmitter missed our ACK and calls again
        QCOMPARE(m_modem->callAnswers().value(0), QByteArray("ACK 5"));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
        QVERIFY(dial(report("900", 6, {"01;Af;Overstroming"})));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 2);
    }

    // The receiver is restarted (supervision, a console start, "Herinitialiseer
    // poorten") between the call and its repeat: the repeat is still known.
    void repeatAfterRestartIsStoredOnce()
    {
        const auto lines = report("901", 7, {"01;Op;Inbraak"});
        QVERIFY(dial(lines));
        m_receiver->closeAll();
        m_receiver.reset();
        startReceiver();
        QVERIFY(dial(lines));
        QCOMPARE(m_modem->callAnswers().value(0), QByteArray("ACK 7"));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingsleutel")), 1);
    }

    // A transmitter that stays on the line after its acknowledgement must not
    // hold the report back: the console hears of it while the call goes on.
    void readyBeforeTheCallEnds()
    {
        m_modem->setStaysOnLine(true);
        bool callOverWhenReady = true;
        const auto watch = connect(m_receiver.get(), &CommReceiver::meldingReady, this,
                                   [&] { callOverWhenReady = m_modem->callOver(); });
        QSignalSpy ready(m_receiver.get(), &CommReceiver::meldingReady);
        const bool called = dial(report("902", 1, {"01;Op;Brand"}));
        disconnect(watch);
        QVERIFY(called);
        QCOMPARE(ready.size(), 1);
        QVERIFY(!callOverWhenReady);
    }

    void portIsReleasedAndTakenBack()
    {
        QVERIFY(m_receiver->isIdle());
        QVERIFY(m_receiver->stopListening());
        QVERIFY(!m_receiver->portOpen());
        m_receiver->restartListening();
        QVERIFY(m_receiver->portOpen());
        QVERIFY(dial(report("12", 1, {"01;Op;Test"})));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
    }
};

QTEST_GUILESS_MAIN(TestCommReceiver)
#include "tst_commreceiver.moc"
