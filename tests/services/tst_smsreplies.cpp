// Reading replies from the modem's store: the SMS-DELIVER octets in every
// coding, long replies in parts, listings with garbage in them, the reply
// words, the modem's health answers and its error codes. The PDUs are built
// by hand, independently of the decoder.

#include "DeliverEncoder.h"
#include "DeliverPdu.h"
#include "E164.h"
#include "IncomingReplies.h"
#include "ModemErrors.h"
#include "ModemHealth.h"

#include <QSet>
#include <QTest>

using namespace taviro;
using namespace taviro::sms;

namespace {
const QString ThumbsUp = QString::fromUtf16(u"\U0001F44D");
}

class TestSmsReplies : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesDeliverPdus_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("announced");
        QTest::addColumn<QString>("sender"); // empty: refused
        QTest::addColumn<QString>("text");

        QTest::newRow("GSM alphabet, international sender, own centre number")
            << QByteArray("07911326040000F0040B911316325476F800006221604000004002CF25") << 21
            << QStringLiteral("+31612345678") << QStringLiteral("OK");
        QTest::newRow("GSM alphabet with an accent, national sender")
            << QByteArray("00040A81602143658700006221604000004003CF7501") << -1 << QStringLiteral("0612345678")
            << QStringLiteral("Oké");
        QTest::newRow("GSM extension table")
            << QByteArray("00040B911316325476F80000622160400000400F50795A3D07D53665D08617DEF800") << -1
            << QStringLiteral("+31612345678") << QStringLiteral("Prijs 5€ [a]");
        QTest::newRow("alphanumeric sender")
            << QByteArray("00040BD0D4B03D2D7F0300006221604000004002CF25") << -1 << QStringLiteral("Taviro")
            << QStringLiteral("OK");
        QTest::newRow("UCS2 with a surrogate pair")
            << QByteArray("00040A8160214365870008622160400000400A006F006B0020D83DDC4D") << -1
            << QStringLiteral("0612345678") << QStringLiteral("ok ") + ThumbsUp;
        QTest::newRow("UCS2 accent")
            << QByteArray("00040B911316325476F800086221604000004006004F006B00E9") << 25
            << QStringLiteral("+31612345678") << QStringLiteral("Oké");
        QTest::newRow("8-bit data")
            << QByteArray("00040B911316325476F8000462216040000040024F4B") << -1 << QStringLiteral("+31612345678")
            << QStringLiteral("OK");

        const QByteArray good("00040B911316325476F800006221604000004002CF25");
        QTest::newRow("truncated in the text") << good.chopped(2) << -1 << QString() << QString();
        QTest::newRow("truncated in the address") << good.left(12) << -1 << QString() << QString();
        QTest::newRow("a byte too many") << good + "00" << -1 << QString() << QString();
        QTest::newRow("length differs from the header") << good << 25 << QString() << QString();
        QTest::newRow("odd number of hex digits") << good.chopped(1) << -1 << QString() << QString();
        QTest::newRow("not hexadecimal") << QByteArray("00040B91ZZ") << -1 << QString() << QString();
        QTest::newRow("empty") << QByteArray() << -1 << QString() << QString();
        QTest::newRow("a message we sent ourselves")
            << QByteArray("0011000B911316325476F80000AA02CF25") << -1 << QString() << QString();
        QTest::newRow("compressed text") << QByteArray("00040B911316325476F800206221604000004002CF25") << -1
                                         << QString() << QString();
        QTest::newRow("header longer than the text")
            << QByteArray("00440B911316325476F8000062216040000040030A0003") << -1 << QString() << QString();
        QTest::newRow("161 septets") << QByteArray("00040B911316325476F80000622160400000A1") + QByteArray(282, 'A')
                                     << -1 << QString() << QString();
    }

    void decodesDeliverPdus()
    {
        QFETCH(QByteArray, hex);
        QFETCH(int, announced);
        QFETCH(QString, sender);
        QFETCH(QString, text);
        QString why;
        const auto pdu = decodeDeliverPdu(hex, announced, &why);
        QCOMPARE(pdu.has_value(), !sender.isEmpty());
        if (!pdu) {
            QVERIFY(!why.isEmpty());
            return;
        }
        QCOMPARE(pdu->sender, sender);
        QCOMPARE(pdu->text, text);
        QCOMPARE(pdu->parts, 1);
    }

    void joinsTheParts_data()
    {
        QTest::addColumn<QList<QByteArray>>("pdus");
        QTest::addColumn<QString>("text"); // empty: still waiting for a part
        const QByteArray c8a("00440B911316325476F8000062216040000040080500032A02019E");
        const QByteArray c8b("00440B911316325476F8000062216040000040080500032A020296");
        const QByteArray c16a("00440A8160214365870008622160400000400F06080412340201006F006B0020D83D");
        const QByteArray c16b("00440A8160214365870008622160400000400906080412340202DC4D");
        QTest::newRow("8-bit reference, in order") << QList<QByteArray>{c8a, c8b} << QStringLiteral("OK");
        QTest::newRow("8-bit reference, reversed") << QList<QByteArray>{c8b, c8a} << QStringLiteral("OK");
        QTest::newRow("16-bit reference, surrogate pair across parts")
            << QList<QByteArray>{c16b, c16a} << QStringLiteral("ok ") + ThumbsUp;
        QTest::newRow("second part missing") << QList<QByteArray>{c8a} << QString();
        QTest::newRow("first part twice, second missing") << QList<QByteArray>{c8a, c8a} << QString();
    }

    void joinsTheParts()
    {
        QFETCH(QList<QByteArray>, pdus);
        QFETCH(QString, text);
        QList<StoredMessage> listed;
        for (int i = 0; i < pdus.size(); ++i)
            listed.append({i + 3, 0, -1, pdus.at(i)});
        const StoreContents store = readStore(listed);
        QVERIFY(store.unreadable.isEmpty());
        if (text.isEmpty()) {
            QVERIFY(store.complete.isEmpty());
            QCOMPARE(store.incomplete.size(), 1);
            QCOMPARE(store.incomplete.first().indexes.size(), pdus.size());
            return;
        }
        QCOMPARE(store.complete.size(), 1);
        QCOMPARE(store.complete.first().text, text);
        QCOMPARE(store.complete.first().indexes.size(), pdus.size()); // every part is deleted afterwards
        QVERIFY(parseReply(text));
    }

    void listingTakesOnlyModemRecords_data()
    {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QList<int>>("indexes");
        const QByteArray pdu("00040B911316325476F800006221604000004002CF25");
        QTest::newRow("two good entries")
            << "+CMGL: 1,0,,21\n" + pdu + "\n+CMGL: 4,1,\"Jan, thuis\",21\n" + pdu << QList<int>{1, 4};
        // What a stranger's text looks like when a modem prints it in text mode.
        QTest::newRow("forged header in text")
            << QByteArray("+CMGL: 3,0,,25\nx\n+CMGL: 9,\"REC UNREAD\",\"+31612345678\",,\"x\"\nOK\n") << QList<int>{};
        QTest::newRow("header without a PDU, then a good one")
            << "+CMGL: 2,0,,25\n+CMGL: 5,0,,21\n" + pdu << QList<int>{5};
        QTest::newRow("status out of range") << "+CMGL: 2,7,,21\n" + pdu << QList<int>{};
        QTest::newRow("negative index") << "+CMGL: -2,0,,21\n" + pdu << QList<int>{};
        QTest::newRow("garbage between") << "#?~ ZZ\n+CMGL: 6,0,,21\n" + pdu + "\n\x01\x02" << QList<int>{6};
        QTest::newRow("listing cut after a header") << QByteArray("+CMGL: 8,0,,25") << QList<int>{};
    }

    void listingTakesOnlyModemRecords()
    {
        QFETCH(QByteArray, listing);
        QFETCH(QList<int>, indexes);
        QStringList skipped;
        QList<int> found;
        for (const StoredMessage& m : parsePduList(listing.split('\n'), &skipped))
            found.append(m.index);
        QCOMPARE(found, indexes);
    }

    // The originating address keeps its kind; only a telephone number of
    // the international or national kind can be a recipient's.
    void keepsTheSendersKind_data()
    {
        using S = test::IncomingSms::Sender;
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("numeric");
        QTest::newRow("international") << int(S::International) << "+31612345678" << "+31612345678" << true;
        QTest::newRow("national") << int(S::National) << "0612345678" << "0612345678" << true;
        QTest::newRow("unknown type, digits") << int(S::Unknown) << "0612345678" << "0612345678" << true;
        QTest::newRow("a name made of digits") << int(S::Alphanumeric) << "0600000011" << "0600000011" << false;
        QTest::newRow("a name") << int(S::Alphanumeric) << "Bank" << "Bank" << false;
        QTest::newRow("abbreviated") << int(S::Abbreviated) << "1233" << "1233" << false;
    }
    void keepsTheSendersKind()
    {
        QFETCH(int, kind);
        QFETCH(QString, sender);
        QFETCH(QString, shown);
        QFETCH(bool, numeric);
        const QByteArray hex = test::encodeDeliver({sender, test::IncomingSms::Sender(kind), QStringLiteral("OK")});
        const StoreContents store = readStore({{1, 0, test::tpduLength(hex), hex}});
        QCOMPARE(store.complete.size(), 1);
        QCOMPARE(store.complete.first().sender, shown);
        QCOMPARE(store.complete.first().text, QStringLiteral("OK"));
        QCOMPARE(isNumericSender(store.complete.first().senderKind), numeric);
    }

    // A message's key is the same at every reading and differs for another
    // message, even the same "OK" from the same sender a second later.
    void keysAMessageByItsOwnFields()
    {
        using S = test::IncomingSms::Sender;
        auto keyOf = [](const test::IncomingSms& sms) {
            const QByteArray hex = test::encodeDeliver(sms);
            const StoreContents s = readStore({{4, 1, test::tpduLength(hex), hex}});
            return s.complete.value(0).key;
        };
        const test::IncomingSms ok{QStringLiteral("+31612345678"), S::International, QStringLiteral("OK")};
        test::IncomingSms later = ok;
        later.timestamp = "62216040000140";
        test::IncomingSms other = ok;
        other.sender = QStringLiteral("+31612345679");
        test::IncomingSms named = ok;
        named.kind = S::Unknown;
        QVERIFY(!keyOf(ok).isEmpty());
        QCOMPARE(keyOf(ok), keyOf(ok));
        const QSet<QString> keys{keyOf(ok), keyOf(later), keyOf(other), keyOf(named)};
        QCOMPARE(keys.size(), 4);
        // A long message has one key, whichever order its parts are listed in.
        test::IncomingSms a{QStringLiteral("+31612345678"), S::International, QStringLiteral("O")};
        a.reference = 7, a.parts = 2, a.part = 1;
        test::IncomingSms b = a;
        b.text = QStringLiteral("K"), b.part = 2;
        const QByteArray ha = test::encodeDeliver(a), hb = test::encodeDeliver(b);
        const StoreContents forward = readStore({{1, 0, test::tpduLength(ha), ha}, {2, 0, test::tpduLength(hb), hb}});
        const StoreContents backward = readStore({{2, 0, test::tpduLength(hb), hb}, {1, 0, test::tpduLength(ha), ha}});
        QCOMPARE(forward.complete.size(), 1);
        QCOMPARE(forward.complete.first().text, QStringLiteral("OK"));
        QCOMPARE(forward.complete.first().key, backward.complete.value(0).key);
    }

    void comparesWholeNumbers_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("e164"); // empty: no telephone number
        QTest::newRow("international") << "+31612345678" << "+31612345678";
        QTest::newRow("with blanks") << "+31 6 1234 5678" << "+31612345678";
        QTest::newRow("00 prefix") << "0031 6 12345678" << "+31612345678";
        QTest::newRow("national") << "06-12345678" << "+31612345678";
        QTest::newRow("trunk zero in brackets") << "+31 (0)6 1234 5678" << "+31612345678";
        QTest::newRow("digits with the country code") << "31612345678" << "+31612345678";
        QTest::newRow("digits without the trunk zero") << "612345678" << "+31612345678";
        QTest::newRow("Belgian") << "+32 612 34 56 78" << "+32612345678";
        QTest::newRow("German, 00 form") << "0049 151 12345678" << "+4915112345678";
        QTest::newRow("short code") << "1233" << "";
        QTest::newRow("letters") << "06-JANSEN" << "";
        QTest::newRow("too long") << "+31 6 1234 5678 9012 3" << "";
        QTest::newRow("empty") << "" << "";
    }
    void comparesWholeNumbers()
    {
        QFETCH(QString, written);
        QFETCH(QString, e164);
        QCOMPARE(toE164(written, QStringLiteral("31")).value_or(QString()), e164);
    }

    // A modem that took PDU mode but lists in text mode shows texts as they
    // are: one header of the text form and nothing of the listing is read.
    void aTextModeListingIsNotBelieved_data()
    {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<bool>("textMode");
        const QByteArray pdu = test::encodeDeliver(
            {QStringLiteral("+31612345678"), test::IncomingSms::Sender::International, QStringLiteral("OK")});
        const QByteArray entry = "+CMGL: 2,0,," + QByteArray::number(test::tpduLength(pdu)) + "\n" + pdu;
        QTest::newRow("PDU listing") << entry << false;
        QTest::newRow("a text header after a forged entry")
            << "+CMGL: 1,\"REC UNREAD\",\"+31699999999\",,\"26/12/06,04:00:00+04\"\nx\n" + entry << true;
        QTest::newRow("a text header with blanks") << QByteArray("+CMGL: 3, \"REC READ\",\"+31612345678\"\nOK") << true;
    }
    void aTextModeListingIsNotBelieved()
    {
        QFETCH(QByteArray, listing);
        QFETCH(bool, textMode);
        bool seen = !textMode;
        const QList<StoredMessage> found = parsePduList(listing.split('\n'), nullptr, &seen);
        QCOMPARE(seen, textMode);
        QCOMPARE(found.isEmpty(), textMode);
    }

    void replyWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("dispatch"); // -1: no acknowledgement
        QTest::newRow("OK") << QStringLiteral("OK") << 0;
        QTest::newRow("ok. with blanks") << QStringLiteral(" ok. ") << 0;
        QTest::newRow("Oké") << QStringLiteral("Oké") << 0;
        QTest::newRow("OKÉ decomposed") << QStringLiteral("OKE\u0301") << 0;
        QTest::newRow("okay!") << QStringLiteral("okay!") << 0;
        QTest::newRow("ok thumbs up") << QStringLiteral("ok ") + ThumbsUp << 0;
        QTest::newRow("thumbs up with skin tone")
            << QStringLiteral("OK") + ThumbsUp + QString::fromUtf16(u"\U0001F3FD") << 0;
        QTest::newRow("check mark") << QStringLiteral("ok \u2705") << 0;
        QTest::newRow("number and emoji") << QStringLiteral("OK 123 ") + ThumbsUp << 123;
        QTest::newRow("question") << QStringLiteral("OK?") << -1;
        QTest::newRow("other words") << QStringLiteral("OK hoor") << -1;
        QTest::newRow("emoji alone") << ThumbsUp << -1;
        QTest::newRow("okido") << QStringLiteral("okido") << -1;
        QTest::newRow("not ok") << QStringLiteral("niet ok") << -1;
        QTest::newRow("heart with variation selector") << QStringLiteral("ok \u2764\uFE0F") << 0;
        QTest::newRow("family joined by joiners")
            << QStringLiteral("OK ") + QString::fromUtf16(u"\U0001F468\u200D\U0001F469\u200D\U0001F467") << 0;
        QTest::newRow("caret") << QStringLiteral("OK^") << -1;
        QTest::newRow("backquote") << QStringLiteral("OK`") << -1;
        QTest::newRow("degree sign") << QStringLiteral("OK\u00B0") << -1;
        QTest::newRow("acute accent") << QStringLiteral("OK\u00B4") << -1;
        QTest::newRow("diaeresis") << QStringLiteral("OK\u00A8") << -1;
        QTest::newRow("combining mark on K") << QStringLiteral("OK\u0308") << -1;
    }

    void replyWords()
    {
        QFETCH(QString, text);
        QFETCH(int, dispatch);
        const auto reply = parseReply(text);
        QCOMPARE(reply.has_value(), dispatch >= 0);
        if (reply)
            QCOMPARE(reply->dispatchId, qint64(dispatch));
    }

    void judgesTheModem_data()
    {
        QTest::addColumn<QByteArray>("cpin");
        QTest::addColumn<QByteArray>("creg");
        QTest::addColumn<QByteArray>("cgreg");
        QTest::addColumn<QByteArray>("csq");
        QTest::addColumn<QString>("line");
        const QByteArray ready("+CPIN: READY"), home("+CREG: 0,1"), none("+CGREG: 0,0");
        QTest::newRow("ready") << ready << home << none << QByteArray("+CSQ: 17,99")
                               << QStringLiteral("GSM-modem op COM 3: klaar, signaal 17/31");
        QTest::newRow("roaming on packet data only")
            << ready << QByteArray("+CREG: 0,2") << QByteArray("+CGREG: 0,5") << QByteArray("+CSQ: 9,0")
            << QStringLiteral("GSM-modem op COM 3: klaar, signaal 9/31");
        QTest::newRow("PIN") << QByteArray("+CPIN: SIM PIN") << home << none << QByteArray("+CSQ: 17,99")
                             << QStringLiteral("GSM-modem op COM 3: SIM wacht op pincode");
        QTest::newRow("PUK") << QByteArray("+CPIN: SIM PUK") << home << none << QByteArray("+CSQ: 17,99")
                             << QStringLiteral("GSM-modem op COM 3: SIM geblokkeerd, PUK-code nodig");
        QTest::newRow("no SIM") << QByteArray("+CME ERROR: 10") << QByteArray() << QByteArray() << QByteArray()
                                << QStringLiteral("GSM-modem op COM 3: geen SIM-kaart");
        QTest::newRow("searching") << ready << QByteArray("+CREG: 0,2") << QByteArray("ERROR")
                                   << QByteArray("+CSQ: 99,99") << QStringLiteral("GSM-modem op COM 3: geen netwerk");
        QTest::newRow("denied") << ready << QByteArray("+CREG: 0,3") << none << QByteArray("+CSQ: 20,99")
                                << QStringLiteral("GSM-modem op COM 3: netwerk weigert de SIM");
        QTest::newRow("no signal") << ready << home << none << QByteArray("+CSQ: 99,99")
                                   << QStringLiteral("GSM-modem op COM 3: geen signaal");
        QTest::newRow("SIM silent") << QByteArray() << home << none << QByteArray("+CSQ: 17,99")
                                    << QStringLiteral("GSM-modem op COM 3: SIM niet gereed (geen antwoord op AT+CPIN?)");
        QTest::newRow("bare OK to every question") << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                                                   << QStringLiteral("GSM-modem op COM 3: meldt geen toestand");
        QTest::newRow("bare OK, no packet data") << QByteArray() << QByteArray() << QByteArray("ERROR") << QByteArray()
                                                 << QStringLiteral("GSM-modem op COM 3: meldt geen toestand");
    }

    void judgesTheModem()
    {
        QFETCH(QByteArray, cpin);
        QFETCH(QByteArray, creg);
        QFETCH(QByteArray, cgreg);
        QFETCH(QByteArray, csq);
        QFETCH(QString, line);
        const ModemHealth h = judgeModem({cpin, creg, cgreg, csq});
        QCOMPARE(describeHealth(h, 3), line);
        QCOMPARE(h.ready(), line.contains(QLatin1String("klaar")));
    }

    void explainsModemErrors_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("shown");
        QTest::newRow("unknown error") << QByteArray("+CMS ERROR: 500")
                                       << QStringLiteral("+CMS ERROR: 500 (onbekende fout; unknown error)");
        QTest::newRow("no network") << QByteArray("+CMS ERROR: 331")
                                    << QStringLiteral("+CMS ERROR: 331 (geen netwerk; no network service)");
        QTest::newRow("network cause") << QByteArray("+CMS ERROR: 38")
                                       << QStringLiteral("+CMS ERROR: 38 (netwerk buiten dienst; network out of order)");
        QTest::newRow("manufacturer") << QByteArray("+CMS ERROR: 515")
                                      << QStringLiteral("+CMS ERROR: 515 (code van de fabrikant; manufacturer specific)");
        QTest::newRow("equipment: PIN") << QByteArray("+CME ERROR: 11")
                                        << QStringLiteral("+CME ERROR: 11 (SIM wacht op pincode; SIM PIN required)");
        QTest::newRow("unlisted code") << QByteArray("+CMS ERROR: 77") << QStringLiteral("+CMS ERROR: 77 (onbekende foutcode)");
        QTest::newRow("verbose form") << QByteArray("+CMS ERROR: SIM busy") << QStringLiteral("+CMS ERROR: SIM busy");
        QTest::newRow("plain ERROR") << QByteArray("ERROR") << QStringLiteral("ERROR");
    }

    void explainsModemErrors()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, shown);
        QCOMPARE(modem::describeModemError(line), shown);
    }
};

QTEST_GUILESS_MAIN(TestSmsReplies)
#include "tst_smsreplies.moc"
