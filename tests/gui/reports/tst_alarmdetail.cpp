#include "AlarmDetail.h"
#include "AlarmLamp.h"
#include "ReportsGuiFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace taviro;
using namespace taviro::test;

namespace {

// The main window's part, as small as it gets: a list of reports, newest on
// top, that opens the clicked one and moves on after an acknowledgement.
struct Host
{
    QListWidget list;
    AlarmDetail& detail;
    bool listPanelShown = false;

    Host(AlarmDetail& d, const QList<qint64>& newestFirst) : detail(d)
    {
        list.setObjectName(QStringLiteral("actueelList"));
        for (qint64 id : newestFirst) {
            auto* item = new QListWidgetItem(QStringLiteral("key_%1").arg(id), &list);
            item->setData(Qt::UserRole, id);
        }
        QObject::connect(&list, &QListWidget::itemClicked, &detail,
                         [this](QListWidgetItem* i) { detail.showItem(i->data(Qt::UserRole).toLongLong()); });
        QObject::connect(&detail, &AlarmDetail::acknowledged, &list, [this](qint64 id) {
            for (int i = 0; i < list.count(); ++i)
                if (list.item(i)->data(Qt::UserRole).toLongLong() == id)
                    delete list.takeItem(i);
            if (list.count() > 0) {
                list.setCurrentRow(0);
                detail.showItem(list.item(0)->data(Qt::UserRole).toLongLong());
            } else {
                listPanelShown = true;
            }
        });
    }
};

} // namespace

class TestAlarmDetail : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsLinesWithEveryRecipient()
    {
        ReportsGuiFixture f;
        const qint64 m = f.forwardedReport(f.at(2, 10, 15));
        AlarmDetail detail({*f.conn, &f.console, f.log, f.prompt});
        QVERIFY(detail.showItem(m));
        QCOMPARE(detail.findChild<QLabel*>(QStringLiteral("lblnaam"))->text(), QStringLiteral("Kantoor Centrum"));
        QCOMPARE(detail.findChild<QLabel*>(QStringLiteral("lblalias"))->text(), QStringLiteral("(1001)"));
        QCOMPARE(detail.findChild<QLabel*>(QStringLiteral("lbladres"))->text(), QStringLiteral("Stationsweg 1"));
        auto* view = detail.findChild<QTreeWidget*>(QStringLiteral("alarmView"));
        QCOMPARE(view->topLevelItemCount(), 2);
        const QTreeWidgetItem* first = view->topLevelItem(0);
        QCOMPARE(first->text(0), QStringLiteral("Kantoor Centrum (1001)"));
        QCOMPARE(first->text(2), QStringLiteral("Inbraak hal"));
        QCOMPARE(first->text(3), QStringLiteral("op"));
        QCOMPARE(first->text(4), QStringLiteral("2-12-2026 10:15:00"));
        QCOMPARE(view->topLevelItem(1)->text(3), QStringLiteral("af"));
        QCOMPARE(first->childCount(), 2);
        QVERIFY(first->child(0)->text(0).contains(QStringLiteral("Jan de Vries")));
        QVERIFY(first->child(0)->text(0).contains(QStringLiteral("SMS verzonden (1x)")));
        QVERIFY(first->child(1)->text(0).contains(QStringLiteral("Marieke Bakker")));
        QCOMPARE(view->topLevelItem(1)->childCount(), 0); // booked, sent to nobody
        // Columns cut long texts off at a share of the width; the whole text
        // is there when pointed at.
        for (int c = 0; c < view->columnCount(); ++c)
            QCOMPARE(first->toolTip(c), first->text(c));
        QVERIFY(first->child(0)->toolTip(0).contains(QStringLiteral("Jan de Vries")));
    }

    void printBoxFollowsSettingsOnEveryShow_data()
    {
        QTest::addColumn<qint64>("printdirect");
        QTest::newRow("printdirect off") << qint64(0);
        QTest::newRow("printdirect on") << qint64(1);
    }
    void printBoxFollowsSettingsOnEveryShow()
    {
        QFETCH(qint64, printdirect);
        ReportsGuiFixture f;
        Installation(*f.conn).settings([&](Settings& s) { s.printdirect = printdirect; });
        const qint64 m = f.forwardedReport(f.at(2, 10, 15));
        AlarmDetail detail({*f.conn, &f.console, f.log, f.prompt});
        auto* box = detail.findChild<QCheckBox*>(QStringLiteral("chkprint"));
        QVERIFY(detail.showItem(m));
        box->setChecked(printdirect == 0); // the operator changes his mind...
        QCOMPARE(detail.printFlag(), printdirect == 0);
        QVERIFY(detail.showItem(m)); // ...for this one showing only
        QCOMPARE(box->isChecked(), printdirect != 0);
        QCOMPARE(detail.printFlag(), printdirect != 0);
    }

    void propertiesHideButtonAndBox()
    {
        ReportsGuiFixture f;
        AlarmDetail detail({*f.conn, &f.console, f.log, f.prompt});
        detail.setProperty("BevestigenEnabled", false);
        detail.setProperty("PrintEnabled", false);
        QVERIFY(detail.findChild<QPushButton*>(QStringLiteral("Command1"))->isHidden());
        QVERIFY(detail.findChild<QCheckBox*>(QStringLiteral("chkprint"))->isHidden());
        AlarmDetail viewOnly({*f.conn, nullptr, f.log, f.prompt});
        QVERIFY(viewOnly.findChild<QPushButton*>(QStringLiteral("Command1"))->isHidden());
    }

    // The road of an acknowledgement: open from the list, acknowledge with the
    // print box ticked, the list moves on, the lamp goes out, every recipient's
    // dispatch carries the operator, and the printout holds the lines.
    void acknowledgeMovesOnPrintsAndPutsOutTheLamp()
    {
        ReportsGuiFixture f;
        const qint64 older = f.forwardedReport(f.at(2, 9, 0));
        const qint64 newer = f.forwardedReport(f.at(2, 10, 15));
        // The alarm lamp on a pty, switched the way the main window switches it.
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        qputenv("TAVIRO_COM7", ptsname(master));
        ComPort lampPort;
        lampPort.number = 7;
        lampPort.designation = 5;
        QVERIFY(ComPortRepository(*f.conn).insert(lampPort));
        AlarmLamp lamp(f.log);
        QVERIFY(lamp.prepare(*f.conn));
        qunsetenv("TAVIRO_COM7");
        connect(&f.console, &Console::lampRequested, &lamp, [&lamp](bool on) { on ? lamp.light() : lamp.putOut(); });
        lamp.light();
        QVERIFY(lamp.isLit());
        f.console.setLampActive(true);
        AlarmDetail detail({*f.conn, &f.console, f.log, f.prompt, f.pdfPrinter(f.pdfPath)});
        Host host(detail, {newer, older});
        host.list.show();
        detail.show();
        QVERIFY(QTest::qWaitForWindowExposed(&detail));

        QTest::mouseClick(host.list.viewport(), Qt::LeftButton, {},
                          host.list.visualItemRect(host.list.item(0)).center());
        QCOMPARE(detail.meldingId(), newer);
        detail.findChild<QCheckBox*>(QStringLiteral("chkprint"))->setChecked(true);
        QTest::mouseClick(detail.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);

        QCOMPARE(host.list.count(), 1);
        QCOMPARE(detail.meldingId(), older); // moved on to the next listed report
        QVERIFY(!lamp.isLit());
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld u INNER JOIN uitmeldlink l ON l.uitmeld_id = u.id "
                                         "INNER JOIN meldindex i ON i.id = l.meldindex_id WHERE i.melding_id = ? "
                                         "AND u.bevestigtype = 1 AND u.bevestiger = ?"),
                          {newer, ReportFixture::kOperator}),
                 3); // Jan's, Marieke's and the booking
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 0")), 3); // the older report's

        const QString text = ReportsGuiFixture::pdfText(f.pdfPath);
        QVERIFY2(text.contains(QStringLiteral("Taviro Melding Overzicht")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Kantoor Centrum (1001)")));
        QVERIFY(text.contains(QStringLiteral("Stationsweg 1")));
        QCOMPARE(text.count(QStringLiteral("Inbraak hal")), 1);
        QCOMPARE(text.count(QStringLiteral("Brand keuken")), 1);
        QVERIFY(text.contains(QStringLiteral("2-12-2026 10:15:00")));
        QVERIFY(f.prompt.asked().isEmpty());

        // The last one: the host shows its list panel instead.
        QTest::mouseClick(detail.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(host.listPanelShown);
        ::close(master);
    }

    void printerFailureIsToldNotFatal_data()
    {
        QTest::addColumn<bool>("noPrinter");
        QTest::addColumn<QString>("message");
        QTest::newRow("no default printer") << true << QStringLiteral("geen standaardprinter");
        QTest::newRow("printer refuses") << false << QStringLiteral("kan niet worden geschreven");
    }
    void printerFailureIsToldNotFatal()
    {
        QFETCH(bool, noPrinter);
        QFETCH(QString, message);
        ReportsGuiFixture f;
        const qint64 m = f.forwardedReport(f.at(2, 10, 15));
        PrinterSource source = noPrinter ? PrinterSource([](QString* why) {
            *why = QStringLiteral("er is op deze werkplek geen standaardprinter ingesteld");
            return std::unique_ptr<QPrinter>();
        })
                                         : f.pdfPrinter(f.db.folder() + QStringLiteral("/geen/map/melding.pdf"));
        AlarmDetail detail({*f.conn, &f.console, f.log, f.prompt, source});
        QVERIFY(detail.showItem(m));
        QVERIFY(!detail.printShown());
        QCOMPARE(f.prompt.asked().size(), 1);
        QVERIFY2(f.prompt.asked().first().text.contains(message), qPrintable(f.prompt.asked().first().text));
        QVERIFY(f.logText().contains(QStringLiteral("niet afgedrukt")));
    }
};

QTEST_MAIN(TestAlarmDetail)
#include "tst_alarmdetail.moc"
