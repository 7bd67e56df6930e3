// TaviroMes6 against a MES-6 unit played on a pseudo-terminal: a line whose
// ACK the unit missed comes again and must be stored once, whatever happened
// to the receiver in between.

#include "ChildProcess.h"
#include "FakeModem.h"
#include "Mes6Line.h"
#include "ReceiverProxies.h"
#include "TestDatabase.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

using namespace taviro;

namespace {

constexpr int Com = 6;

QByteArray mes6Line(int seq, const QByteArray& alias, const QByteArray& functie, const QByteArray& text)
{
    const QByteArray body = QByteArray::number(seq) + ',' + alias + ',' + functie + ",Op," + text;
    return body + '*' + QByteArray::number(mes6::mes6Check(body), 16).rightJustified(2, '0').toUpper() + "\r\n";
}

} // namespace

class TestMes6Receiver : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    std::unique_ptr<test::FakeModem> m_unit;
    std::unique_ptr<Mes6ReceiverProxy> m_receiver;

    qint64 count(const QString& sql)
    {
        auto c = m_db->connect();
        auto v = c->scalar(sql);
        return v ? v->toLongLong() : -1;
    }

    bool portOpen()
    {
        return m_receiver->client()
            .call(QStringLiteral("status"))
            .result.toObject()
            .value(QStringLiteral("portOpen"))
            .toBool();
    }

    void startReceiver()
    {
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroMes6"), test::binDir(), m_db->settings());
        o.extraEnvironment = {QStringLiteral("TAVIRO_COM%1=%2").arg(Com).arg(m_unit->devicePath())};
        o.firstRestartDelayMs = 100;
        m_receiver = std::make_unique<Mes6ReceiverProxy>(o);
        QVERIFY(m_receiver->start(Com, 1200));
        QVERIFY(portOpen());
    }

    // Sends one line and waits for the receiver's answer to it.
    bool send(const QByteArray& line)
    {
        const qsizetype answers = answered();
        m_unit->inject(line);
        return QTest::qWaitFor([&] { return answered() > answers; }, 10000);
    }

    qsizetype answered() const
    {
        const QByteArray raw = m_unit->rawReceived();
        return raw.count('\x06') + raw.count('\x15');
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        m_unit = std::make_unique<test::FakeModem>();
        QVERIFY(m_unit->ok());
        startReceiver();
    }

    void cleanup()
    {
        if (m_receiver)
            m_receiver->stop();
        m_receiver.reset();
        m_unit.reset();
        m_db.reset();
    }

    // Steps: a letter sends that line, "restart" replaces the receiver as
    // "Herinitialiseer poorten" or a console start does, "kill" ends it
    // hard and lets the supervisor start it again.
    void repeatedLineIsStoredOnce_data()
    {
        QTest::addColumn<QList<QByteArray>>("steps");
        QTest::addColumn<int>("stored");
        QTest::newRow("repeat") << QList<QByteArray>{"A", "A"} << 1;
        QTest::newRow("repeat after a restart") << QList<QByteArray>{"A", "restart", "A"} << 1;
        QTest::newRow("repeat after the receiver was killed") << QList<QByteArray>{"A", "kill", "A"} << 1;
        QTest::newRow("another transmitter in between") << QList<QByteArray>{"A", "C", "A"} << 2;
        // The sequence digit comes round again: after another line of the
        // same transmitter an equal line is a new alarm.
        QTest::newRow("same transmitter in between") << QList<QByteArray>{"A", "B", "A"} << 3;
        QTest::newRow("same transmitter in between, across a restart")
            << QList<QByteArray>{"A", "B", "restart", "A"} << 3;
    }
    void repeatedLineIsStoredOnce()
    {
        QFETCH(QList<QByteArray>, steps);
        QFETCH(int, stored);
        const QHash<QByteArray, QByteArray> lines{
            {"A", mes6Line(3, "4711", "01", "Inbraak hal, achterdeur")},
            {"B", mes6Line(4, "4711", "02", "Brand keuken")},
            {"C", mes6Line(4, "815", "01", "Storing")},
        };
        int sent = 0;
        for (const QByteArray& step : steps) {
            if (step == "restart") {
                m_receiver->stop();
                m_receiver.reset();
                startReceiver();
            } else if (step == "kill") {
                QSignalSpy restarted(&m_receiver->client(), &ServiceClient::restarted);
                ::kill(pid_t(m_receiver->client().processId()), SIGKILL);
                QVERIFY(restarted.wait(20000));
                QVERIFY(QTest::qWaitFor([&] { return portOpen(); }, 10000));
            } else {
                QVERIFY(send(lines.value(step)));
                ++sent;
            }
        }
        // Every line, repeat or not, is acknowledged, so the unit stops repeating.
        QCOMPARE(m_unit->rawReceived().count('\x06'), sent);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), stored);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldindex")), stored);
    }
};

QTEST_GUILESS_MAIN(TestMes6Receiver)
#include "tst_mes6receiver.moc"
