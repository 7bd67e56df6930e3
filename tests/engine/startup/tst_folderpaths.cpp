#include "FolderPaths.h"
#include "ProgramLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace taviro;

class TestFolderPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parentFolder_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("parent");
        QTest::newRow("plain") << QStringLiteral("/opt/taviro/bin") << QStringLiteral("/opt/taviro/");
        QTest::newRow("trailing separator") << QStringLiteral("/opt/taviro/bin/") << QStringLiteral("/opt/taviro/");
        QTest::newRow("one level") << QStringLiteral("/bin") << QStringLiteral("/");
    }
    void parentFolder()
    {
        QFETCH(QString, program);
        QFETCH(QString, parent);
        QCOMPARE(taviro::parentFolder(program), parent);
    }

    // Logger/ and Images/ beside the program win only when they hold files.
    void fallsBackToTheParentFolder_data()
    {
        QTest::addColumn<QString>("insideContent"); // "" none, "empty" folder, "file"
        QTest::addColumn<bool>("usesInside");
        QTest::newRow("missing") << QString() << false;
        QTest::newRow("empty") << QStringLiteral("empty") << false;
        QTest::newRow("holds a file") << QStringLiteral("file") << true;
    }
    void fallsBackToTheParentFolder()
    {
        QFETCH(QString, insideContent);
        QFETCH(bool, usesInside);
        QTemporaryDir root;
        const QString program = root.filePath(QStringLiteral("Taviro/Bin"));
        QVERIFY(QDir().mkpath(program));
        for (const QString& name : {QStringLiteral("Logger"), QStringLiteral("Images")}) {
            if (insideContent.isEmpty())
                continue;
            QVERIFY(QDir().mkpath(program + QLatin1Char('/') + name));
            if (insideContent == QLatin1String("file")) {
                QFile f(program + QLatin1Char('/') + name + QStringLiteral("/x.txt"));
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
        }
        const FolderPaths paths = resolveFolders(program);
        const QString base = usesInside ? program + QLatin1Char('/') : root.filePath(QStringLiteral("Taviro/"));
        QCOMPARE(paths.loggerPath, base + QStringLiteral("Logger/"));
        QCOMPARE(paths.imagesPath, base + QStringLiteral("Images/"));
    }

    // A build keeps everything beside its programs; an installed console
    // (services in lib/taviro beside bin/) uses its system places, each of
    // which the installer may move.
    void buildOrInstallation_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("moved");
        QTest::newRow("build") << false << false;
        QTest::newRow("build, log moved") << false << true;
        QTest::newRow("installation, folders moved") << true << true;
    }
    void buildOrInstallation()
    {
        QFETCH(bool, installed);
        QFETCH(bool, moved);
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("usr/bin"));
        const QString services = installed ? root.filePath(QStringLiteral("usr/lib/taviro")) : bin;
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(services));
        QVERIFY(QFile(services + QStringLiteral("/TaviroComm")).open(QIODevice::WriteOnly));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("usr/share/taviro/xsl"))));
        QVERIFY(QFile(root.filePath(QStringLiteral("usr/share/taviro/xsl/overzicht.xsl"))).open(QIODevice::WriteOnly));
        const QString log = root.filePath(QStringLiteral("var/log/taviro"));
        const QString data = root.filePath(QStringLiteral("var/lib/taviro"));
        if (moved) {
            qputenv("TAVIRO_LOGGER_DIR", log.toUtf8());
            qputenv("TAVIRO_DATA_DIR", data.toUtf8());
        }
        const ProgramLayout layout = ProgramLayout::forProgram(bin);
        const FolderPaths paths = resolveFolders(layout);
        qunsetenv("TAVIRO_LOGGER_DIR");
        qunsetenv("TAVIRO_DATA_DIR");
        QCOMPARE(layout.installed, installed);
        QCOMPARE(layout.serviceFolder, services);
        QCOMPARE(paths.loggerPath, moved ? log + QLatin1Char('/') : root.filePath(QStringLiteral("usr/Logger/")));
        QCOMPARE(layout.defaultDatabase(), moved ? data + QStringLiteral("/taviro.db") : root.filePath(QStringLiteral("usr/Database/taviro.db")));
        if (installed) {
            QCOMPARE(paths.imagesPath, root.filePath(QStringLiteral("usr/share/taviro/images/")));
            // The stylesheets reach the Logger folder once; an installer's edited copy stays.
            QVERIFY(provideStylesheets(layout.stylesheetFolder, paths.loggerPath).isEmpty());
            QFile edited(paths.loggerPath + QStringLiteral("overzicht.xsl"));
            QVERIFY(edited.open(QIODevice::Append));
            edited.write("<!-- eigen -->");
            edited.close();
            QVERIFY(provideStylesheets(layout.stylesheetFolder, paths.loggerPath).isEmpty());
            QCOMPARE(QFileInfo(edited).size(), qint64(14));
        }
    }
};

QTEST_GUILESS_MAIN(TestFolderPaths)
#include "tst_folderpaths.moc"
