#include "FolderPaths.h"

#include <QDir>
#include <QFile>
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
};

QTEST_GUILESS_MAIN(TestFolderPaths)
#include "tst_folderpaths.moc"
