// TaviroSmsService against a fake GSM modem on a pseudo-terminal, driven
// through the console's proxy: what reaches the modem, a modem that hangs,
// and replies that acknowledge dispatches.

#include "ChildProcess.h"
#include "FakeModem.h"
#include "Installation.h"
#include "SmsServiceProxy.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QSignalSpy>
#include <QTest>
#include <QUuid>

#include <memory>

#include <signal.h>

using namespace taviro;

namespace {

constexpr int Com = 7;

// The text of a UCS2 SMS-SUBMIT PDU as the phone will show it.
QString decodeUcs2Pdu(const QByteArray& hex)
{
    const QByteArray b = QByteArray::fromHex(hex);
    int at = 1 + b.at(0); // service centre
    const int first = quint8(b.at(at));
    at += 2;                              // first octet, message reference
    at += 2 + (quint8(b.at(at)) + 1) / 2; // address length, type, digits
    at += 2;                              // protocol id, coding scheme
    if ((first & 0x18) == 0x10)
        at += 1; // relative validity
    const int udl = quint8(b.at(at++));
    QByteArray ud = b.mid(at, udl);
    if (first & 0x40)
        ud = ud.mid(1 + quint8(ud.at(0)));
    QString text;
    for (int i = 0; i + 1 < ud.size(); i += 2)
        text.append(QChar(ushort((quint8(ud.at(i)) << 8) | quint8(ud.at(i + 1)))));
    return text;
}

} // namespace

class TestSmsService : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    std::unique_ptr<test::FakeModem> m_modem;
    std::unique_ptr<SmsServiceProxy> m_sms;
    QList<QPair<QString, int>> m_log;
    QHash<QString, SmsOutcome> m_ends; // every send's end, by its id
    QStringList m_endOrder;

    SmsRequest request(const QString& text, bool gsm = true) const
    {
        SmsRequest r;
        r.line.number = Com;
        r.line.baudrate = 9600;
        r.line.initString = QStringLiteral("AT&FE0");
        r.isGsm = gsm;
        r.recipientName = QStringLiteral("Jan de Vries");
        r.mobileNumber = QStringLiteral("+31612345678");
        r.sender = QStringLiteral("0000000000");
        r.smsCentre = QStringLiteral("0000000000");
        r.text = text;
        return r;
    }

    // One whole transmission as the console makes it: send under a fresh id,
    // wait for that id's end, finish.
    bool transmit(const SmsRequest& r)
    {
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        m_sms->send(r, id);
        if (!QTest::qWaitFor([&] { return m_ends.contains(id); }, m_sms->sendTimeoutMinutes() * 60000))
            return false;
        m_sms->finish();
        return m_ends.value(id).state == SmsOutcome::State::Sent;
    }

    bool logged(const QString& fragment, int level) const { return timesLogged(fragment, level) > 0; }

    int timesLogged(const QString& fragment, int level) const
    {
        int n = 0;
        for (const auto& l : m_log)
            if (l.second == level && l.first.contains(fragment))
                ++n;
        return n;
    }

    // Jan de Vries (+31612345678) with one SMS dispatch nobody acknowledged yet.
    struct OpenDispatch
    {
        qint64 recipient = 0;
        qint64 dispatch = 0;
    };
    OpenDispatch openDispatch()
    {
        auto conn = m_db->connect();
        test::Installation inst(*conn);
        OpenDispatch d;
        d.recipient = inst.recipient(QStringLiteral("Jan de Vries"), QStringLiteral("+31 6 1234 5678"), {}, true, false);
        d.dispatch = anotherDispatch(d);
        return d;
    }

    qint64 acknowledgedBy(qint64 dispatch) const
    {
        auto conn = m_db->connect();
        auto v = conn->scalar(QStringLiteral("SELECT bevestiger FROM uitmeld WHERE id = ?"), {dispatch});
        return v ? sql::toLong(*v) : -1;
    }

    // One more open SMS dispatch for `d`'s recipient.
    qint64 anotherDispatch(const OpenDispatch& d)
    {
        auto conn = m_db->connect();
        auto r = conn->insert(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, "
                                             "bevestiger, bevestigtype) VALUES (?, 1, ?, 1, 0, 0)"),
                              {d.recipient, sql::boolValue(true)});
        return r ? *r : 0;
    }

    // Reads the store once and waits until that is over.
    bool pollOnce()
    {
        QSignalSpy done(m_sms.get(), &SmsService::repliesRead);
        return m_sms->readReplies() && done.wait(20000);
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        m_modem = std::make_unique<test::FakeModem>();
        QVERIFY(m_modem->ok());
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroSmsService"),
                                                    test::binDir(), m_db->settings());
        o.callTimeoutMs = 15000;
        o.extraEnvironment = {QStringLiteral("TAVIRO_COM%1=%2").arg(Com).arg(m_modem->devicePath()),
                              QStringLiteral("TAVIRO_SMS_COMMAND_MS=1500"),
                              QStringLiteral("TAVIRO_SMS_SUBMIT_MS=3000"),
                              QStringLiteral("TAVIRO_SMS_POLL_MS=600000"),
                              QStringLiteral("TAVIRO_SMS_CHECK_MS=1000")};
        m_sms = std::make_unique<SmsServiceProxy>(o);
        m_log.clear();
        m_ends.clear();
        m_endOrder.clear();
        connect(m_sms.get(), &SmsService::sendEnded, this, [this](const QString& id, const SmsOutcome& o) {
            m_ends.insert(id, o);
            m_endOrder << id;
        });
        connect(m_sms.get(), &SmsService::meldingMessage, this,
                [this](const QString& text, int level) { m_log << qMakePair(text, level); });
    }

    void cleanup()
    {
        m_sms.reset();
        m_modem.reset();
        m_db.reset();
    }

    void piecesReachTheModem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>(
            "expected"); // what the phone shows, one entry a submitted PDU or text
        QTest::addColumn<bool>("pdu");
        const QString header = QStringLiteral("Kantoor Centrum: ");
        QTest::newRow("one plain piece")
            << header + QStringLiteral("01 Inbraak hal Op")
            << QStringList{header + QStringLiteral("01 Inbraak hal Op")} << false;
        const QString first = (header + QStringLiteral("01 Inbraak hal Op")).leftJustified(145);
        QTest::newRow("two pieces, padding dropped")
            << first + header + QStringLiteral("02 Brand keuken Af")
            << QStringList{first.trimmed(), header + QStringLiteral("02 Brand keuken Af")} << false;
        QTest::newRow("Dutch text as UCS2")
            << QStringLiteral("Café De Ruïne: 03 Brand tweeënzestig Op")
            << QStringList{QStringLiteral("Café De Ruïne: 03 Brand tweeënzestig Op")} << true;
        const QString longDutch = QStringLiteral("Één lange melding ").repeated(9).left(145);
        QTest::newRow("a long UCS2 piece in three parts")
            << longDutch
            << QStringList{longDutch.left(67), longDutch.mid(67, 67), longDutch.mid(134)} << true;
        QTest::newRow("an @ goes as UCS2, not in text mode")
            << QStringLiteral("storing@ketel") << QStringList{QStringLiteral("storing@ketel")}
            << true;
    }

    void piecesReachTheModem()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QFETCH(bool, pdu);
        QVERIFY(transmit(request(text)));
        const auto sent = m_modem->submitted();
        QCOMPARE(sent.size(), expected.size());
        for (int i = 0; i < sent.size(); ++i) {
            QCOMPARE(sent.at(i).pduMode, pdu);
            if (pdu) {
                QCOMPARE(decodeUcs2Pdu(sent.at(i).body), expected.at(i));
                // The SIM's own service centre, then +31612345678 as an international address.
                QVERIFY(sent.at(i).body.startsWith("00"));
                QCOMPARE(sent.at(i).body.mid(4, 18), QByteArray("000B911316325476F8"));
                QCOMPARE(sent.at(i).command,
                         "AT+CMGS=" +
                             QByteArray::number(QByteArray::fromHex(sent.at(i).body).size() - 1));
            } else {
                QCOMPARE(QString::fromLatin1(sent.at(i).body), expected.at(i));
                QCOMPARE(sent.at(i).command, QByteArray("AT+CMGS=\"+31612345678\""));
            }
        }
        QVERIFY(m_modem->commands().contains("AT&FE0"));
    }

    void refusedWithTheReason_data()
    {
        QTest::addColumn<int>("com");
        QTest::addColumn<bool>("gsm");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("notSaid");
        QTest::newRow("PSTN modem") << int(Com) << false << QStringLiteral("PSTN-modem") << QStringLiteral("geen SMS-poort");
        QTest::newRow("no SMS port at all") << 0 << false << QStringLiteral("er is geen SMS-poort ingesteld")
                                            << QStringLiteral("COM 0");
    }
    void refusedWithTheReason()
    {
        QFETCH(int, com);
        QFETCH(bool, gsm);
        QFETCH(QString, reason);
        QFETCH(QString, notSaid);
        SmsRequest r = request(QStringLiteral("test"), gsm);
        r.line.number = com;
        QVERIFY(!transmit(r));
        QVERIFY(m_modem->submitted().isEmpty());
        QVERIFY(logged(reason, 0));
        QVERIFY(!logged(notSaid, 0));
    }

    void modemThatStopsAnsweringIsRecovered_data()
    {
        QTest::addColumn<int>("mood");
        QTest::newRow("silent") << int(test::FakeModem::Mood::Silent);
        QTest::newRow("garbage") << int(test::FakeModem::Mood::Garbage);
    }

    void modemThatStopsAnsweringIsRecovered()
    {
        QFETCH(int, mood);
        QVERIFY(transmit(request(QStringLiteral("eerste"))));
        m_modem->setMood(test::FakeModem::Mood(mood));
        QVERIFY(!transmit(request(QStringLiteral("tweede"))));
        QVERIFY(logged(QStringLiteral("antwoordt niet"), 0));
        m_modem->setMood(test::FakeModem::Mood::Normal);
        m_modem->clearRecords();
        QVERIFY(transmit(request(QStringLiteral("derde"))));
        QCOMPARE(m_modem->submitted().size(), 1);
        QCOMPARE(m_modem->submitted().first().body, QByteArray("derde"));
    }

    // A send that outlasts the console's wait: the next one is refused as
    // busy rather than taken for sent, the first one's end names only its own
    // id, the service answers for each id when asked, and an id is sent once.
    void eachSendAnswersForItsOwnId()
    {
        m_modem->setSubmitDelayMs(1500);
        const QString a = QStringLiteral("verzending-a"), b = QStringLiteral("verzending-b");
        m_sms->send(request(QStringLiteral("eerste")), a);
        m_sms->send(request(QStringLiteral("tweede")), b);
        QVERIFY(QTest::qWaitFor([&] { return m_ends.contains(b); }, 5000));
        QCOMPARE(m_ends.value(b).state, SmsOutcome::State::Busy);
        QVERIFY(m_ends.value(b).reason.contains(QStringLiteral("er loopt al een SMS-verzending")));
        QCOMPARE(m_sms->outcome(a).state, SmsOutcome::State::Running);

        QVERIFY(QTest::qWaitFor([&] { return m_ends.contains(a); }, 20000));
        QCOMPARE(m_ends.value(a).state, SmsOutcome::State::Sent);
        QCOMPARE(m_endOrder, (QStringList{b, a}));
        const CallResult asked = m_sms->client().call(QStringLiteral("sendOutcome"), {{QStringLiteral("sendId"), a}});
        QCOMPARE(asked.result.toObject().value(QStringLiteral("state")).toString(), QStringLiteral("sent"));
        const CallResult never = m_sms->client().call(QStringLiteral("sendOutcome"), {{QStringLiteral("sendId"), b}});
        QCOMPARE(never.result.toObject().value(QStringLiteral("state")).toString(), QStringLiteral("unknown"));

        // The same id again (a request repeated on the way): nothing goes out twice.
        m_ends.remove(a);
        m_sms->send(request(QStringLiteral("eerste")), a);
        QTest::qWait(500);
        QVERIFY(!m_ends.contains(a)); // its end was told already, and stays as told
        QCOMPARE(m_sms->outcome(a).state, SmsOutcome::State::Sent);
        QCOMPARE(m_modem->submitted().size(), 1);
    }

    void portVanishingMidSendIsSurvived()
    {
        m_modem->setSubmitDelayMs(1000);
        m_sms->send(request(QStringLiteral("eerste")), QStringLiteral("eerste"));
        QVERIFY(QTest::qWaitFor([this] { return m_modem->submitted().size() == 1; }, 10000));
        m_modem->vanish();
        QVERIFY(QTest::qWaitFor([this] { return m_ends.contains(QStringLiteral("eerste")); }, 30000));
        m_sms->finish();
        QCOMPARE(m_ends.value(QStringLiteral("eerste")).state, SmsOutcome::State::Failed);
        QVERIFY(logged(QStringLiteral("niet verzonden"), 0));
        // Still serving the console, and the next send fails cleanly rather than hanging.
        QVERIFY(m_sms->client().call(QStringLiteral("status")).ok());
        QVERIFY(!transmit(request(QStringLiteral("tweede"))));
    }

    void replyAcknowledgesTheLatestDispatch_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("acknowledged"); // 0 none, 1 older, 2 newer dispatch
        QTest::newRow("OK from the national form") << QStringLiteral("0612345678") << QStringLiteral("OK") << 2;
        QTest::newRow("ok with full stop") << QStringLiteral("+31612345678") << QStringLiteral(" ok. ") << 2;
        QTest::newRow("Ok with the older number") << QStringLiteral("+31612345678") << QStringLiteral("Ok %1") << 1;
        QTest::newRow("another recipient's dispatch") << QStringLiteral("+31623456789") << QStringLiteral("OK %1") << 0;
        QTest::newRow("unknown number") << QStringLiteral("+31699999999") << QStringLiteral("OK") << 0;
        QTest::newRow("not a reply word") << QStringLiteral("+31612345678") << QStringLiteral("Ik kom eraan") << 0;
        QTest::newRow("OK with other words") << QStringLiteral("+31612345678") << QStringLiteral("OK hoor") << 0;
        QTest::newRow("Oké in UCS2") << QStringLiteral("+31612345678") << QStringLiteral("Oké") << 2;
        QTest::newRow("ok with a thumbs-up")
            << QStringLiteral("+31612345678") << QStringLiteral("ok ") + QString::fromUtf16(u"\U0001F44D") << 2;
    }

    void replyAcknowledgesTheLatestDispatch()
    {
        QFETCH(QString, from);
        QFETCH(QString, text);
        QFETCH(int, acknowledged);
        auto conn = m_db->connect();
        test::Installation inst(*conn);
        const qint64 jan = inst.recipient(QStringLiteral("Jan de Vries"),
                                          QStringLiteral("+31 6 1234 5678"), {}, true, false);
        inst.recipient(QStringLiteral("Marieke Bakker"), QStringLiteral("+31623456789"), {}, true,
                       false);
        QVERIFY(inst.ok());
        qint64 dispatches[2] = {};
        for (qint64& id : dispatches) {
            auto r = conn->insert(
                QStringLiteral(
                    "INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, bevestiger, "
                    "bevestigtype) VALUES (?, 1, ?, 1, 0, 0)"),
                {jan, sql::boolValue(true)});
            QVERIFY(r);
            id = *r;
        }
        QVERIFY(transmit(request(QStringLiteral("melding"))));
        m_modem->addIncoming(from,
                             text.contains(QLatin1String("%1")) ? text.arg(dispatches[0]) : text);
        m_sms->client().call(QStringLiteral("poll"));
        QVERIFY(QTest::qWaitFor([&] { return m_modem->storedCount() == 0; }, 10000));
        for (int i = 0; i < 2; ++i) {
            auto q = conn->query(QStringLiteral("SELECT bevestiger, bevestigtype, bevestigdate, "
                                                "done FROM uitmeld WHERE id = ?"),
                                 {dispatches[i]});
            QVERIFY(q && q->next());
            const bool expected = acknowledged == i + 1;
            QCOMPARE(q->value(0).toLongLong(), expected ? jan : 0);
            QCOMPARE(q->value(1).toLongLong(), expected ? 2 : 0);
            QCOMPARE(q->value(2).isNull() || q->value(2).toString().isEmpty(), !expected);
        }
    }

    void strangersTextIsNoModemRecord()
    {
        const OpenDispatch d = openDispatch();
        QVERIFY(d.dispatch > 0);
        QVERIFY(transmit(request(QStringLiteral("melding"))));
        // A stranger writes what a modem in text mode would print for Jan's reply.
        m_modem->addIncoming(QStringLiteral("+31699999999"),
                             QStringLiteral("x\r\n+CMGL: 9,\"REC UNREAD\",\"+31612345678\",,\"x\"\r\nOK"));
        m_modem->clearRecords();
        QVERIFY(pollOnce());
        QCOMPARE(acknowledgedBy(d.dispatch), 0);
        QVERIFY(!m_modem->commands().contains("AT+CMGD=9"));
        QVERIFY(m_modem->commands().contains("AT+CMGD=1"));
        QVERIFY(logged(QStringLiteral("SMS van +31699999999 genegeerd"), 1));
    }

    // Only a recipient's own telephone number acknowledges, compared whole:
    // the forms of one Dutch number agree, a foreign number that ends in the
    // same nine digits and a sender name that looks like a number do not.
    void onlyTheRecipientsOwnNumberAcknowledges_data()
    {
        using S = test::IncomingSms::Sender;
        QTest::addColumn<QString>("recipientNumber");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("acknowledges");
        const QString jan = QStringLiteral("+31 6 1234 5678");
        QTest::newRow("international") << jan << "+31612345678" << int(S::International) << true;
        QTest::newRow("national type") << jan << "0612345678" << int(S::National) << true;
        QTest::newRow("unknown type, 0031 form") << jan << "0031612345678" << int(S::Unknown) << true;
        QTest::newRow("recipient written 06") << QStringLiteral("06-12345678") << "+31612345678" << int(S::International) << true;
        QTest::newRow("recipient written +31 (0)6")
            << QStringLiteral("+31 (0)6 1234 5678") << "+31612345678" << int(S::International) << true;
        QTest::newRow("foreign number, same last nine digits") << jan << "+32612345678" << int(S::International) << false;
        QTest::newRow("foreign recipient, Dutch sender")
            << QStringLiteral("+49 612345678") << "0612345678" << int(S::National) << false;
        QTest::newRow("name that looks like the number") << jan << "0612345678" << int(S::Alphanumeric) << false;
        QTest::newRow("short number of a service") << jan << "0612345678" << int(S::Abbreviated) << false;
    }

    void onlyTheRecipientsOwnNumberAcknowledges()
    {
        QFETCH(QString, recipientNumber);
        QFETCH(QString, sender);
        QFETCH(int, kind);
        QFETCH(bool, acknowledges);
        OpenDispatch d = openDispatch();
        auto conn = m_db->connect();
        QVERIFY(conn->exec(QStringLiteral("UPDATE ontvangers SET mobielnr = ?"), {recipientNumber}));
        m_modem->addIncoming(test::IncomingSms{sender, test::IncomingSms::Sender(kind), QStringLiteral("OK")});
        m_sms->watch(request(QString()), false);
        QVERIFY(QTest::qWaitFor([&] { return m_modem->storedCount() == 0; }, 20000));
        QCOMPARE(acknowledgedBy(d.dispatch), acknowledges ? d.recipient : 0);
    }

    // An "OK" is applied once, by its own key: a delete the modem refuses,
    // or a service ended between its commit and the delete, leaves the
    // message in the store, and the next reading only deletes it, instead of
    // acknowledging the recipient's next open dispatch with it.
    void aReplyReadAgainIsNotAppliedAgain_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("delete refused") << false;
        QTest::newRow("service ended before the delete") << true;
    }

    void aReplyReadAgainIsNotAppliedAgain()
    {
        QFETCH(bool, killed);
        const OpenDispatch d = openDispatch();
        const qint64 newer = anotherDispatch(d);
        m_modem->setDeleteFails(true);
        m_modem->setLateAnswer("AT+CMGD", killed ? 3000 : 0);
        m_modem->addIncoming(test::IncomingSms{QStringLiteral("+31612345678"), test::IncomingSms::Sender::International,
                                               QStringLiteral("OK")});
        m_sms->watch(request(QString()), false);
        QVERIFY(QTest::qWaitFor([&] { return acknowledgedBy(newer) == d.recipient; }, 20000));
        if (killed) {
            QSignalSpy restarted(&m_sms->client(), &ServiceClient::restarted);
            QVERIFY(::kill(pid_t(m_sms->client().processId()), SIGKILL) == 0);
            QVERIFY(restarted.wait(20000));
        }
        QVERIFY(pollOnce()); // read again while the delete still fails
        QCOMPARE(m_modem->storedCount(), 1);
        m_modem->setDeleteFails(false);
        m_modem->setLateAnswer("AT+CMGD", 0);
        QVERIFY(pollOnce());
        QCOMPARE(m_modem->storedCount(), 0);
        QCOMPARE(acknowledgedBy(d.dispatch), 0);
        // Said once at most: a service killed right after its commit may not have told of it.
        QCOMPARE(timesLogged(QStringLiteral("bevestigd door Jan de Vries per SMS"), 0) <= 1, true);
    }

    // A modem that accepts PDU mode but lists in text mode: a stranger's
    // text that holds a PDU entry for Jan's "OK" acknowledges nothing, and
    // nothing at all is deleted by what such a listing says.
    void aTextModeListingIsNotRead()
    {
        const OpenDispatch d = openDispatch();
        const QByteArray forged = test::encodeDeliver(
            {QStringLiteral("+31612345678"), test::IncomingSms::Sender::International, QStringLiteral("OK")});
        m_modem->setListsInTextMode(true);
        m_modem->addIncoming(QStringLiteral("+31699999999"),
                             QStringLiteral("x\r\n+CMGL: 2,0,,%1\r\n%2").arg(test::tpduLength(forged)).arg(QString::fromLatin1(forged)));
        m_modem->addIncoming(QStringLiteral("+31623456789"), QStringLiteral("OK"));
        m_sms->watch(request(QString()), false);
        QVERIFY(pollOnce());
        QVERIFY(pollOnce());
        QCOMPARE(acknowledgedBy(d.dispatch), 0);
        QCOMPARE(m_modem->storedCount(), 2);
        for (const QByteArray& c : m_modem->commands())
            QVERIFY2(!c.startsWith("AT+CMGD"), c.constData());
        QCOMPARE(timesLogged(QStringLiteral("niet in PDU-modus"), 0), 1);
    }

    // A modem that refuses a send is checked again and the check's line is
    // told again, so the console hears the check succeed after the refusals.
    void aCheckAfterARefusedSendIsReportedAgain()
    {
        const QString ready = QStringLiteral("GSM-modem op COM %1: klaar, signaal 17/31").arg(Com);
        int shownReady = 0;
        QObject listening;
        connect(m_sms.get(), &SmsService::modemStateChanged, &listening,
                [&](const QString& text, bool) { shownReady += text == ready; });
        m_sms->watch(request(QString()), false);
        QVERIFY(QTest::qWaitFor([&] { return shownReady == 1; }, 15000));
        m_modem->setSubmitRefusal("+CMS ERROR: 330");
        QVERIFY(!transmit(request(QStringLiteral("melding"))));
        QVERIFY(logged(QStringLiteral("+CMS ERROR: 330"), 0));
        QVERIFY(QTest::qWaitFor([&] { return shownReady == 2; }, 15000));
    }

    void repliesInPartsAndBrokenEntries_data()
    {
        QTest::addColumn<QList<QByteArray>>("pdus"); // "hex" or "hex/announced length"
        QTest::addColumn<QByteArray>("extraListing");
        QTest::addColumn<bool>("acknowledged");
        QTest::addColumn<int>("left"); // entries that stay in the store
        const QByteArray ok("00040B911316325476F800006221604000004002CF25");
        const QByteArray partA("00440B911316325476F8000062216040000040080500032A02019E");
        const QByteArray partB("00440B911316325476F8000062216040000040080500032A020296");
        QTest::newRow("long reply in two parts") << QList<QByteArray>{partB, partA} << QByteArray() << true << 0;
        QTest::newRow("a part still missing") << QList<QByteArray>{partA} << QByteArray() << false << 1;
        QTest::newRow("truncated PDU before a good one")
            << QList<QByteArray>{ok.chopped(4) + "/21", ok} << QByteArray() << true << 1;
        QTest::newRow("garbage in the listing")
            << QList<QByteArray>{ok} << QByteArray("\r\n+CMGL: 12,0,,25\r\nZZZZ\r\n#?~ \x01\r\n+CMGL: 13,0,,9\r\nOK 13\r\n")
            << true << 0;
    }

    void repliesInPartsAndBrokenEntries()
    {
        QFETCH(QList<QByteArray>, pdus);
        QFETCH(QByteArray, extraListing);
        QFETCH(bool, acknowledged);
        QFETCH(int, left);
        const OpenDispatch d = openDispatch();
        QVERIFY(transmit(request(QStringLiteral("melding"))));
        for (const QByteArray& p : pdus) {
            const QList<QByteArray> f = p.split('/');
            m_modem->addIncomingPdu(f.at(0), f.size() > 1 ? f.at(1).toInt() : -1);
        }
        m_modem->setListingExtra(extraListing);
        QVERIFY(pollOnce());
        QVERIFY(pollOnce()); // a second reading changes nothing and logs nothing again
        QCOMPARE(acknowledgedBy(d.dispatch), acknowledged ? d.recipient : 0);
        QCOMPARE(m_modem->storedCount(), left);
        QVERIFY(m_sms->client().call(QStringLiteral("status")).ok());
        QVERIFY(timesLogged(QStringLiteral("niet leesbaar"), 1) <= 1);
    }

    void modemRefusalIsExplained()
    {
        m_modem->setSubmitRefusal("+CMS ERROR: 500");
        QVERIFY(!transmit(request(QStringLiteral("melding"))));
        QVERIFY(logged(QStringLiteral("+CMS ERROR: 500 (onbekende fout; unknown error)"), 0));
        QVERIFY(!logged(QStringLiteral("geen invoerteken"), 0));
    }

    void replyWaitingAtStartIsRead()
    {
        const OpenDispatch d = openDispatch();
        m_modem->addIncoming(QStringLiteral("0612345678"), QStringLiteral("OK"));
        // No SMS goes out: being told which modem to watch is enough.
        m_sms->watch(request(QString()), false);
        QVERIFY(QTest::qWaitFor([&] { return acknowledgedBy(d.dispatch) == d.recipient; }, 20000));
        QVERIFY(m_modem->submitted().isEmpty());
    }

    void modemStateIsWatched_data()
    {
        QTest::addColumn<QByteArray>("cpin");
        QTest::addColumn<QByteArray>("creg");
        QTest::addColumn<QByteArray>("csq");
        QTest::addColumn<QString>("state");
        QTest::newRow("SIM waits for its PIN") << QByteArray("+CPIN: SIM PIN") << QByteArray("+CREG: 0,0")
                                               << QByteArray("+CSQ: 17,99") << QStringLiteral("SIM wacht op pincode");
        QTest::newRow("searching for a network") << QByteArray("+CPIN: READY") << QByteArray("+CREG: 0,2")
                                                 << QByteArray("+CSQ: 99,99") << QStringLiteral("geen netwerk");
        QTest::newRow("no signal") << QByteArray("+CPIN: READY") << QByteArray("+CREG: 0,1")
                                   << QByteArray("+CSQ: 99,99") << QStringLiteral("geen signaal");
        QTest::newRow("a bare OK to every question") << QByteArray() << QByteArray() << QByteArray()
                                                     << QStringLiteral("meldt geen toestand");
    }

    void modemStateIsWatched()
    {
        QFETCH(QByteArray, cpin);
        QFETCH(QByteArray, creg);
        QFETCH(QByteArray, csq);
        QFETCH(QString, state);
        const QString line = QStringLiteral("GSM-modem op COM %1: %2").arg(Com).arg(state);
        const QString ready = QStringLiteral("GSM-modem op COM %1: klaar, signaal 17/31").arg(Com);
        QStringList shown;
        QObject listening;
        connect(m_sms.get(), &SmsService::modemStateChanged, &listening,
                [&shown](const QString& text, bool) { shown << text; });
        m_modem->setHealth(cpin, creg, csq, cpin.isEmpty() ? QByteArray() : QByteArray("+CGREG: 0,0"));
        m_sms->watch(request(QString()), false);
        QVERIFY(QTest::qWaitFor([&] { return shown.contains(line); }, 15000));
        // It stays that way for several checks: one line, not one per check.
        QVERIFY(QTest::qWaitFor([&] { return m_modem->commands().count("AT+CSQ") >= 3; }, 20000));
        QCOMPARE(timesLogged(line, 0), 1);
        m_modem->setHealth("+CPIN: READY", "+CREG: 0,1", "+CSQ: 17,99");
        QVERIFY(QTest::qWaitFor([&] { return shown.contains(ready); }, 15000));
        QVERIFY(logged(ready, 0));
    }

    void modemThatFallsSilentIsReset()
    {
        const QString ready = QStringLiteral("GSM-modem op COM %1: klaar").arg(Com);
        m_sms->watch(request(QString()), false);
        QVERIFY(QTest::qWaitFor([&] { return logged(ready, 0); }, 15000));
        m_modem->setMood(test::FakeModem::Mood::Silent);
        QVERIFY(QTest::qWaitFor([&] { return logged(QStringLiteral("geen antwoord"), 0); }, 30000));
        const int recoveries = m_sms->client().call(QStringLiteral("status")).result.toObject().value(
            QStringLiteral("recoveries")).toInt();
        QVERIFY(recoveries >= 1);
        m_modem->setMood(test::FakeModem::Mood::Normal);
        QVERIFY(QTest::qWaitFor([&] { return timesLogged(ready, 0) == 2; }, 30000));
    }
};

QTEST_GUILESS_MAIN(TestSmsService)
#include "tst_smsservice.moc"
