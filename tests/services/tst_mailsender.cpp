// TaviroMailSender against a real SMTP server, driven through the console's
// own proxy and client so the whole road of a mail is exercised.

#include "ChildProcess.h"
#include "MessageComposer.h"
#include "ServiceProxies.h"
#include "ServiceTestSupport.h"
#include "SqlReportStore.h"
#include "TestDatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace taviro;

namespace {

struct LogLine
{
    QString text;
    int level;
};

} // namespace

class TestMailSender : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    std::unique_ptr<QTemporaryDir> m_queue;
    QList<LogLine> m_log;

    void setMailServer(quint16 port, bool login = false, const QString& user = {},
                       const QString& password = {})
    {
        auto c = m_db->connect();
        QVERIFY(c);
        QVERIFY(c->exec(
            QStringLiteral(
                "UPDATE settings SET mailserver = ?, \"MailServerPort\" = ?, mailfromname = ?, "
                "mailfrommail = ?, authentification = ?, mailusername = ?, mailpassword = ?"),
            {QStringLiteral("127.0.0.1"), port, QStringLiteral("Meldkamer Zuidoost – Één"),
             QStringLiteral("meldkamer@taviro.test"), login ? 1 : 0, user, password}));
    }

    ServiceClient::Options options() const
    {
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroMailSender"),
                                                    test::binDir(), m_db->settings());
        o.extraEnvironment = {QStringLiteral("TAVIRO_MAIL_QUEUE=") + m_queue->path(),
                              QStringLiteral("TAVIRO_MAIL_RETRY_FIRST=1"),
                              QStringLiteral("TAVIRO_MAIL_RETRY_LONGEST=1"),
                              QStringLiteral("TAVIRO_MAIL_GIVE_UP=600")};
        o.firstRestartDelayMs = 200;
        o.callTimeoutMs = 15000;
        return o;
    }

    std::unique_ptr<MailSenderProxy> makeSender(QStringList extraEnvironment = {})
    {
        auto o = options();
        o.extraEnvironment << extraEnvironment;
        auto sender = std::make_unique<MailSenderProxy>(o);
        connect(sender.get(), &MailSender::meldingMessage, this,
                [this](const QString& text, int level) {
                    m_log << LogLine{text, level};
                });
        return sender;
    }

    bool waitForLog(const QString& fragment, int level, int timeoutMs = 20000)
    {
        return QTest::qWaitFor(
            [&] {
                for (const LogLine& l : std::as_const(m_log))
                    if (l.level == level && l.text.contains(fragment))
                        return true;
                return false;
            },
            timeoutMs);
    }

    // A plain mail to the duty address; what is weighed is its road, not its text.
    static MailMessage plainMail(const QString& subject = QStringLiteral("s"),
                                 const QString& address = QStringLiteral("dienst@taviro.test"))
    {
        return {address, QStringLiteral("Jan"), subject, QStringLiteral("b"), {}};
    }

    // Mails in the outbox with this status: 0 waiting, 1 sent, 2 given up.
    int inOutbox(int status = 0) const
    {
        auto c = m_db->connect();
        auto n = c ? c->scalar(QStringLiteral("SELECT COUNT(*) FROM mailwachtrij WHERE status = ?"), {status})
                   : Result<QVariant>::failure(QStringLiteral("geen verbinding"));
        return n ? int(n->toLongLong()) : -1;
    }
    int queued() const { return inOutbox(0); }

    // A mail file as a sender of an older version left it in its queue folder.
    void writeOldQueueFile(const QString& name, const QStringList& pending, const QString& subject)
    {
        QFile f(m_queue->filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(QJsonObject{{QStringLiteral("pending"), QJsonArray::fromStringList(pending)},
                                          {QStringLiteral("failed"), QJsonArray()},
                                          {QStringLiteral("recipientName"), QStringLiteral("Jan")},
                                          {QStringLiteral("subject"), subject},
                                          {QStringLiteral("body"), QStringLiteral("b")}})
                    .toJson());
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY(m_db->ok());
        m_queue = std::make_unique<QTemporaryDir>();
        m_log.clear();
    }

    void deliversDutchTextAndAttachmentAsMime()
    {
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start());
        setMailServer(smtp.port());
        QTemporaryDir files;
        QByteArray attachment;
        for (int i = 0; i < 200000; ++i)
            attachment.append(char((i * 7919) % 256)); // every byte value, no text
        QFile f(files.filePath(QStringLiteral("overzicht 06-12.pdf")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(attachment) == attachment.size());
        f.close();

        auto sender = makeSender();
        MailMessage mail;
        mail.address = QStringLiteral("dienst@taviro.test");
        mail.recipientName = QStringLiteral("Gerrit van 't Hoff");
        mail.subject = QStringLiteral(
            "Taviro Ketelhuis Ödenbürg Alarm Melding – storing brander één, café en ijsbaan");
        mail.body = QStringLiteral("Melder: 4711 Ketelhuis\r\nAlarm: Storing brander één "
                                   "(Op)\r\nTemperatuur 85 °C, €\r\n");
        mail.attachmentPath = f.fileName();
        QVERIFY(sender->send(mail));
        QVERIFY(smtp.waitForMessages(1));

        const QJsonObject got = smtp.messages().first();
        QCOMPARE(got.value(QStringLiteral("subject")).toString(), mail.subject);
        QCOMPARE(got.value(QStringLiteral("body_charset")).toString(), QStringLiteral("utf-8"));
        // The body arrives byte for byte as composed, CR LF included.
        QCOMPARE(QByteArray::fromHex(got.value(QStringLiteral("body_bytes")).toString().toLatin1()),
                 mail.body.toUtf8());
        QCOMPARE(got.value(QStringLiteral("mail_from")).toString(),
                 QStringLiteral("meldkamer@taviro.test"));
        QCOMPARE(got.value(QStringLiteral("rcpt_tos")).toArray().first().toString(),
                 QStringLiteral("dienst@taviro.test"));
        QVERIFY(got.value(QStringLiteral("from"))
                    .toString()
                    .contains(QStringLiteral("Meldkamer Zuidoost – Één")));
        QVERIFY(got.value(QStringLiteral("to"))
                    .toString()
                    .contains(QStringLiteral("Gerrit van 't Hoff")));
        QVERIFY(!got.value(QStringLiteral("date")).toString().isEmpty());
        QVERIFY(got.value(QStringLiteral("message_id"))
                    .toString()
                    .contains(QStringLiteral("@taviro.test>")));

        const QJsonObject part =
            got.value(QStringLiteral("attachments")).toArray().first().toObject();
        QCOMPARE(part.value(QStringLiteral("filename")).toString(),
                 QStringLiteral("overzicht 06-12.pdf"));
        QCOMPARE(part.value(QStringLiteral("encoding")).toString(), QStringLiteral("base64"));
        QCOMPARE(part.value(QStringLiteral("size")).toInt(), attachment.size());
        QCOMPARE(part.value(QStringLiteral("sha256")).toString(),
                 QString::fromLatin1(
                     QCryptographicHash::hash(attachment, QCryptographicHash::Sha256).toHex()));

        // Headers stay 7-bit: the subject travels as UTF-8 encoded words.
        const QByteArray raw = smtp.raw(0);
        const QByteArray head = raw.left(raw.indexOf("\r\n\r\n"));
        QVERIFY(head.contains("Subject: =?UTF-8?B?"));
        for (char c : head)
            QVERIFY2(uchar(c) < 0x80, head.constData());
        QTRY_COMPARE_WITH_TIMEOUT(queued(), 0, 5000);
    }

    void dispatchComposedByTheEngineArrivesIntact()
    {
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start());
        setMailServer(smtp.port());
        auto c = m_db->connect();
        SqlReportStore store(*c);
        ReceivedReport report;
        report.melderAlias = QStringLiteral("4711");
        report.melderNaam = QStringLiteral("Ketelhuis Ödenbürg");
        report.receivedAt = QDateTime::currentDateTime();
        report.lines << ReceivedLine{QStringLiteral("12"),
                                     QStringLiteral("Storing brander één – 85 °C"),
                                     1,
                                     report.receivedAt,
                                     {},
                                     {}};
        const auto meldingId = store.store(report);
        QVERIFY2(meldingId, qPrintable(meldingId.error()));
        const auto line = c->scalar(QStringLiteral("SELECT id FROM meldindex WHERE melding_id = ?"),
                                    {*meldingId});
        QVERIFY(line);

        const MessageComposer composer(*c);
        const ComposedEmail mail = composer.composeEmail(
            line->toLongLong(), MessageComposer::EmailMode::Line, composer.subjectTemplate());
        QVERIFY(mail.body.contains(QStringLiteral("Storing brander één")));
        auto sender = makeSender();
        QVERIFY(sender->send({QStringLiteral("dienst@taviro.test"),
                              QStringLiteral("Elke melding ontvanger (zie opties)"),
                              mail.subject,
                              mail.body,
                              {}}));
        QVERIFY(smtp.waitForMessages(1));
        const QJsonObject got = smtp.messages().first();
        QCOMPARE(got.value(QStringLiteral("subject")).toString(), mail.subject);
        QVERIFY(mail.subject.contains(QStringLiteral("Ketelhuis Ödenbürg 4711")));
        QCOMPARE(QByteArray::fromHex(got.value(QStringLiteral("body_bytes")).toString().toLatin1()),
                 mail.body.toUtf8());
    }

    void everyAddressGetsTheMail_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("semicolon") << QStringLiteral("een@taviro.test;twee@taviro.test");
        QTest::newRow("comma and blanks") << QStringLiteral(" een@taviro.test , twee@taviro.test ");
        QTest::newRow("one per line") << QStringLiteral("een@taviro.test\r\ntwee@taviro.test\r\n");
        QTest::newRow("repeated address once") << QStringLiteral("een@taviro.test;twee@taviro.test;EEN@taviro.test");
    }
    void everyAddressGetsTheMail()
    {
        QFETCH(QString, field);
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start());
        setMailServer(smtp.port());
        auto sender = makeSender();
        QVERIFY(sender->send(plainMail(QStringLiteral("s"), field)));
        QVERIFY(smtp.waitForMessages(2));
        QTest::qWait(300);
        const auto got = smtp.messages();
        QCOMPARE(got.size(), 2);
        QStringList to;
        for (const QJsonObject& m : got)
            to << m.value(QStringLiteral("rcpt_tos")).toArray().first().toString();
        to.sort();
        QCOMPARE(to, (QStringList{QStringLiteral("een@taviro.test"),
                                  QStringLiteral("twee@taviro.test")}));
    }

    void emptyAddressIsRefusedAndLogged()
    {
        auto sender = makeSender();
        QVERIFY(!sender->send(plainMail(QStringLiteral("s"), QStringLiteral(" \r\n"))));
        QVERIFY(waitForLog(QStringLiteral("geen e-mailadres"), 1));
        QCOMPARE(queued(), 0);
    }

    void logsInWithTheSettingsAccount()
    {
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start({QStringLiteral("meldkamer"), QStringLiteral("z3er geheim"), {}}));
        setMailServer(smtp.port(), true, QStringLiteral("meldkamer"), QStringLiteral("fout"));
        auto sender = makeSender();
        QVERIFY(sender->send(plainMail()));
        // A refused login is reported once and retried; the corrected password is read on the next
        // attempt.
        QVERIFY(waitForLog(QStringLiteral("aanmelding geweigerd"), 1));
        QCOMPARE(smtp.messages().size(), 0);
        setMailServer(smtp.port(), true, QStringLiteral("meldkamer"),
                      QStringLiteral("z3er geheim"));
        QVERIFY(smtp.waitForMessages(1));
        QCOMPARE(smtp.messages().first().value(QStringLiteral("login")).toString(),
                 QStringLiteral("meldkamer"));
        QVERIFY(waitForLog(QStringLiteral("alsnog verzonden"), 1));
    }

    void startTlsWhenTheServerOffersIt()
    {
        // The server refuses everything before STARTTLS, login included.
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start({QStringLiteral("meldkamer"), QStringLiteral("geheim"), {}, true}));
        setMailServer(smtp.port(), true, QStringLiteral("meldkamer"), QStringLiteral("geheim"));
        auto sender = makeSender({QStringLiteral("TAVIRO_TLS_CA_FILE=") + smtp.certificateFile()});
        QVERIFY(sender->send(plainMail(QStringLiteral("versleuteld"))));
        QVERIFY(smtp.waitForMessages(1));
        QVERIFY(smtp.messages().first().value(QStringLiteral("tls")).toBool());
        QCOMPARE(smtp.messages().first().value(QStringLiteral("login")).toString(),
                 QStringLiteral("meldkamer"));
    }

    // A server without STARTTLS never gets the account's password; without a
    // login nothing secret is at stake and the mail goes in clear.
    void passwordIsNotSentInClear_data()
    {
        QTest::addColumn<bool>("login");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("with login") << true << false;
        QTest::newRow("without login") << false << true;
    }
    void passwordIsNotSentInClear()
    {
        QFETCH(bool, login);
        QFETCH(bool, delivered);
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start());
        setMailServer(smtp.port(), login, QStringLiteral("meldkamer"), QStringLiteral("geheim"));
        auto sender = makeSender({QStringLiteral("TAVIRO_MAIL_ALLOW_PLAINTEXT=0")});
        QVERIFY(sender->send(plainMail()));
        if (delivered) {
            QVERIFY(smtp.waitForMessages(1));
        } else {
            QVERIFY(waitForLog(QStringLiteral("TLS vereist"), 1));
            QCOMPARE(smtp.messages().size(), 0);
        }
    }

    // A server that offers STARTTLS and then refuses it is not "without
    // STARTTLS": the installer looks for the fault in another place.
    void refusedStartTlsIsToldApart()
    {
        test::SmtpTestServer smtp;
        test::SmtpTestServer::Options options{QStringLiteral("meldkamer"), QStringLiteral("geheim"), {}, true};
        options.denyStartTls = true;
        QVERIFY(smtp.start(options));
        setMailServer(smtp.port(), true, QStringLiteral("meldkamer"), QStringLiteral("geheim"));
        auto sender = makeSender({QStringLiteral("TAVIRO_TLS_CA_FILE=") + smtp.certificateFile(),
                                  QStringLiteral("TAVIRO_MAIL_ALLOW_PLAINTEXT=0")});
        QVERIFY(sender->send(plainMail()));
        QVERIFY(waitForLog(QStringLiteral("biedt STARTTLS aan maar weigert het"), 1));
        for (const LogLine& l : std::as_const(m_log))
            QVERIFY2(!l.text.contains(QStringLiteral("biedt geen STARTTLS")), qPrintable(l.text));
        QCOMPARE(smtp.messages().size(), 0);
        QCOMPARE(queued(), 1); // kept for a later try
    }

    // A site's own authority (TAVIRO_TLS_CA_FILE) is trusted besides the
    // system's list, not instead of it: one mail server may carry a public
    // certificate and the other one of the site's own.
    void trustsTheSystemListAndTheSitesAuthority_data() { test::TestCertificates::addTrustRows(); }
    void trustsTheSystemListAndTheSitesAuthority()
    {
        QFETCH(QString, signer);
        QFETCH(bool, caFileExists);
        QFETCH(bool, trusted);
        test::TestCertificates certs;
        QVERIFY(certs.makeTrustScene(signer));
        test::SmtpTestServer smtp;
        test::SmtpTestServer::Options options;
        options.startTls = true;
        smtp.useCertificate(certs.certificateFile(QStringLiteral("server")), certs.keyFile(QStringLiteral("server")));
        QVERIFY(smtp.start(options));
        setMailServer(smtp.port());
        auto sender = makeSender(certs.trustEnvironment(caFileExists));
        QVERIFY(sender->send(plainMail()));
        if (trusted) {
            QVERIFY(smtp.waitForMessages(1));
            QVERIFY(smtp.messages().first().value(QStringLiteral("tls")).toBool());
        } else {
            QVERIFY(waitForLog(caFileExists ? QStringLiteral("nog niet verzonden") : certs.missingFile(), 1));
            QCOMPARE(smtp.messages().size(), 0);
            QCOMPARE(queued(), 1);
        }
    }

    void serverThatStartsLateStillGetsTheMail()
    {
        const quint16 port = test::freeLoopbackPort();
        setMailServer(port);
        auto sender = makeSender();
        QVERIFY(sender->send(plainMail(QStringLiteral("laat"))));
        QVERIFY(waitForLog(QStringLiteral("nog niet verzonden"), 1));
        QTest::qWait(1500); // a few refused attempts
        test::SmtpTestServer smtp(port);
        QVERIFY(smtp.start());
        QVERIFY(smtp.waitForMessages(1));
        QTest::qWait(2500);
        QCOMPARE(smtp.messages().size(), 1);
        QCOMPARE(queued(), 0);
    }

    void connectionLostMidMailIsRetried()
    {
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start({{}, {}, {}, false, 1}));
        setMailServer(smtp.port());
        auto sender = makeSender();
        QVERIFY(sender->send(plainMail(QStringLiteral("onderbroken"))));
        QVERIFY(waitForLog(QStringLiteral("nog niet verzonden"), 1));
        QVERIFY(smtp.waitForMessages(1));
        QTest::qWait(1500);
        QCOMPARE(smtp.messages().size(), 1);
        QTRY_COMPARE(queued(), 0);
    }

    void twentyMegabyteAttachment()
    {
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start());
        setMailServer(smtp.port());
        QTemporaryDir files;
        QFile f(files.filePath(QStringLiteral("export.bin")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray block(1024 * 1024, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((i * 31 + 7) % 251);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (int i = 0; i < 20; ++i) {
            block[0] = char(i);
            f.write(block);
            hash.addData(block);
        }
        f.close();
        auto sender = makeSender();
        QVERIFY(sender->send({QStringLiteral("dienst@taviro.test"), QStringLiteral("Jan"),
                              QStringLiteral("groot"), QStringLiteral("b"), f.fileName()}));
        QVERIFY(smtp.waitForMessages(1, 120000));
        const QJsonObject part = smtp.messages()
                                     .first()
                                     .value(QStringLiteral("attachments"))
                                     .toArray()
                                     .first()
                                     .toObject();
        QCOMPARE(part.value(QStringLiteral("size")).toInt(), 20 * 1024 * 1024);
        QCOMPARE(part.value(QStringLiteral("sha256")).toString(),
                 QString::fromLatin1(hash.result().toHex()));
    }

    void unreachableServerIsGivenUpAndReported()
    {
        setMailServer(test::freeLoopbackPort());
        auto sender = makeSender({QStringLiteral("TAVIRO_MAIL_GIVE_UP=3")});
        QVERIFY(sender->send(plainMail(QStringLiteral("Brand"))));
        QVERIFY(waitForLog(QStringLiteral("kon in 3 seconden niet worden verzonden"), 0));
        // Given up, not thrown away: the outbox keeps it for the administrator.
        QTRY_COMPARE(queued(), 0);
        QCOMPARE(inOutbox(2), 1);
    }

    void refusedRecipientIsReportedOthersServed()
    {
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start({{}, {}, QStringLiteral("onbekend")}));
        setMailServer(smtp.port());
        auto sender = makeSender();
        QVERIFY(sender->send(
            plainMail(QStringLiteral("Brand"), QStringLiteral("onbekend@taviro.test;dienst@taviro.test"))));
        QVERIFY(waitForLog(
            QStringLiteral("Mail aan onbekend@taviro.test (onderwerp \"Brand\") geweigerd"), 0));
        QVERIFY(smtp.waitForMessages(1));
        QCOMPARE(
            smtp.messages().first().value(QStringLiteral("rcpt_tos")).toArray().first().toString(),
            QStringLiteral("dienst@taviro.test"));
        QTRY_COMPARE(inOutbox(2), 1);
        QTRY_COMPARE(inOutbox(1), 1);
    }

    void queuedMailsSurviveAKilledSender()
    {
        const quint16 port = test::freeLoopbackPort();
        setMailServer(port);
        auto sender = makeSender();
        QSignalSpy restarted(&sender->client(), &ServiceClient::restarted);
        for (int i = 1; i <= 3; ++i)
            QVERIFY(sender->send(plainMail(QStringLiteral("mail %1").arg(i))));
        QCOMPARE(queued(), 3);

        ::kill(pid_t(sender->client().processId()), SIGKILL);
        // The supervisor notices, logs it and starts the sender again.
        QVERIFY(waitForLog(QStringLiteral("TaviroMailSender is afgebroken"), 0));
        QVERIFY(restarted.wait(10000));
        QCOMPARE(queued(), 3);

        test::SmtpTestServer smtp(port);
        QVERIFY(smtp.start());
        QVERIFY(smtp.waitForMessages(3));
        QTest::qWait(1500);
        QStringList subjects;
        for (const QJsonObject& m : smtp.messages())
            subjects << m.value(QStringLiteral("subject")).toString();
        // In the order handed over, each exactly once.
        QCOMPARE(subjects, (QStringList{QStringLiteral("mail 1"), QStringLiteral("mail 2"),
                                        QStringLiteral("mail 3")}));
        QTRY_COMPARE(queued(), 0);
    }

    // Two workstations' senders drain one outbox while mails are handed to
    // either of them, during a mail server outage and after it: each mail
    // reaches the server once.
    void twoSendersSendEachMailOnce()
    {
        const quint16 port = test::freeLoopbackPort();
        setMailServer(port);
        auto a = makeSender();
        auto b = makeSender();
        constexpr int kMails = 20;
        for (int i = 0; i < kMails; ++i)
            QVERIFY((i % 2 ? a : b)->send(plainMail(QStringLiteral("mail %1").arg(i))));
        QTest::qWait(1500); // both have met the closed door
        test::SmtpTestServer smtp(port);
        QVERIFY(smtp.start());
        for (int i = kMails; i < 2 * kMails; ++i)
            QVERIFY((i % 2 ? a : b)->send(plainMail(QStringLiteral("mail %1").arg(i))));
        QVERIFY(smtp.waitForMessages(2 * kMails, 60000));
        QTest::qWait(3000); // time for a second copy, if one were coming
        QStringList subjects;
        for (const QJsonObject& m : smtp.messages())
            subjects << m.value(QStringLiteral("subject")).toString();
        QCOMPARE(subjects.size(), 2 * kMails);
        QCOMPARE(QSet<QString>(subjects.cbegin(), subjects.cend()).size(), 2 * kMails);
        QTRY_COMPARE(inOutbox(1), 2 * kMails);
    }

    // Mails an older sender left in its folder go out once, and a second
    // start (or a kill between the import's commit and the file's removal)
    // adds nothing.
    void oldQueueFolderIsImportedOnce()
    {
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start());
        setMailServer(smtp.port());
        writeOldQueueFile(QStringLiteral("20261202101500000-1-000001.json"),
                          {QStringLiteral("jan@taviro.test"), QStringLiteral("piet@taviro.test")},
                          QStringLiteral("oud 1"));
        writeOldQueueFile(QStringLiteral("20261202101501000-1-000002.json"), {QStringLiteral("jan@taviro.test")},
                          QStringLiteral("oud 2"));
        QFile::copy(m_queue->filePath(QStringLiteral("20261202101501000-1-000002.json")),
                    m_queue->filePath(QStringLiteral("kopie.bak")));
        {
            auto sender = makeSender();
            QVERIFY(smtp.waitForMessages(3));
            QTRY_COMPARE(inOutbox(1), 3);
        }
        QVERIFY(QDir(m_queue->path()).entryList({QStringLiteral("*.json")}, QDir::Files).isEmpty());
        // As if killed before the file was removed: the same file again.
        QFile::rename(m_queue->filePath(QStringLiteral("kopie.bak")),
                      m_queue->filePath(QStringLiteral("20261202101501000-1-000002.json")));
        auto again = makeSender();
        QTRY_VERIFY(QDir(m_queue->path()).entryList({QStringLiteral("*.json")}, QDir::Files).isEmpty());
        QTest::qWait(1500);
        QCOMPARE(smtp.messages().size(), 3);
        QCOMPARE(inOutbox(1), 3);
    }
};

QTEST_GUILESS_MAIN(TestMailSender)
#include "tst_mailsender.moc"
