#include "PasswordHash.h"
#include "Repositories.h"
#include "TestDatabase.h"

#include <QTest>

using namespace taviro;

namespace {

// Gives every column of a row its own value: texts with apostrophes, quotes,
// a line break and non-ASCII, so a value landing in the wrong column or being
// cut shows up when the row is read back.
template <class Row>
Row filled(const RowMapping<Row>& m, int seed)
{
    Row r;
    for (int i = 0; i < m.fields.size(); ++i) {
        const auto& f = m.fields[i];
        switch (f.kind) {
        case ColumnKind::Long:
            f.set(r, QVariant::fromValue<qint64>(seed * 1000 + i + 1));
            break;
        case ColumnKind::Bool:
            f.set(r, QVariant(!f.defaultTrue));
            break;
        case ColumnKind::Text:
            f.set(r, QStringLiteral("O'Brien \"%1\" ë€ 日本\nregel %2").arg(f.column).arg(seed));
            break;
        case ColumnKind::Date:
            f.set(r, QDateTime(QDate(2026, 2, 28), QTime(23, 59, 0)).addSecs(i + seed));
            break;
        }
    }
    return r;
}

template <class Row>
void roundTrip(const DatabaseConnector& writer, const DatabaseConnector& reader, const RowMapping<Row>& m)
{
    const Row first = filled(m, 1);
    auto id = Table<Row>(writer, m).insert(first);
    QVERIFY2(id.ok(), qPrintable(id.error()));
    QVERIFY(*id > 0);

    auto back = Table<Row>(reader, m).find(*id);
    QVERIFY2(back.ok(), qPrintable(back.error()));
    QVERIFY(back->has_value());
    for (const auto& f : m.fields)
        QVERIFY2(f.get(**back, Dialect::SQLite) == f.get(first, Dialect::SQLite),
                 qPrintable(m.table + QLatin1Char('.') + f.column));

    Row second = filled(m, 2);
    second.id = *id;
    QVERIFY(Table<Row>(writer, m).update(second).ok());
    back = Table<Row>(reader, m).find(*id);
    for (const auto& f : m.fields)
        QVERIFY2(f.get(**back, Dialect::SQLite) == f.get(second, Dialect::SQLite),
                 qPrintable(m.table + QLatin1Char('.') + f.column + QStringLiteral(" after update")));
}

} // namespace

class TestRepositories : public QObject
{
    Q_OBJECT

    test::TestDatabase m_db;
    ConnectorPtr m_writer, m_reader;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_db.ok(), qPrintable(m_db.error()));
        m_writer = m_db.connect();
        m_reader = m_db.connect();
        QVERIFY(m_writer && m_reader);
    }

    void everyTableRoundTrips()
    {
        roundTrip(*m_writer, *m_reader, mapping::melders());
        roundTrip(*m_writer, *m_reader, mapping::alarmen());
        roundTrip(*m_writer, *m_reader, mapping::ontvangers());
        roundTrip(*m_writer, *m_reader, mapping::weekplanningen());
        roundTrip(*m_writer, *m_reader, mapping::jaarplanningen());
        roundTrip(*m_writer, *m_reader, mapping::meldingen());
        roundTrip(*m_writer, *m_reader, mapping::meldindex());
        roundTrip(*m_writer, *m_reader, mapping::uitmeld());
        roundTrip(*m_writer, *m_reader, mapping::uitmeldlink());
        roundTrip(*m_writer, *m_reader, mapping::comports());
        roundTrip(*m_writer, *m_reader, mapping::settings());
        roundTrip(*m_writer, *m_reader, mapping::gebruikers());
    }

    // SQLite takes an unknown double-quoted name for a string literal; reading
    // the odd columns with plain SQL proves the values sit in real columns.
    void oddlyNamedColumnsHoldTheirValues()
    {
        WeekPlanning w;
        w.alias = QStringLiteral("W");
        w.cells[62] = 4711;
        w.cells[0] = 17;
        auto id = WeekPlanningRepository(*m_writer).insert(w);
        QVERIFY(id.ok());
        auto q = m_reader->query(QStringLiteral("SELECT \"0\", \"62\" FROM weekplanningen WHERE id = ?"), {*id});
        QVERIFY2(q.ok(), qPrintable(q.error()));
        QVERIFY(q->next());
        QCOMPARE(q->value(0).toLongLong(), 17);
        QCOMPARE(q->value(1).toLongLong(), 4711);
        q->finish(); // an unfinished read would keep its snapshot and hide later rows

        Alarm a;
        a.uurs24 = true;
        a.date = QDateTime(QDate(2026, 12, 6), QTime(3, 4, 5));
        auto aid = AlarmRepository(*m_writer).insert(a);
        QVERIFY(aid.ok());
        q = m_reader->query(QStringLiteral("SELECT \"24uurs\", \"date\" FROM alarmen WHERE id = ?"), {*aid});
        QVERIFY2(q.ok(), qPrintable(q.error()));
        QVERIFY(q->next());
        if (m_db.onPostgres()) {
            QCOMPARE(q->value(0).toBool(), true);
            QCOMPARE(q->value(1).toDateTime(), a.date);
            return;
        }
        QCOMPARE(q->value(0).toInt(), 1);
        QCOMPARE(q->value(1).toString(), QStringLiteral("2026-12-06 03:04:05"));
    }

    // Other programs that share the database wrote true as -1.
    void legacyTrueReadsAsTrue()
    {
        if (m_db.onPostgres())
            QSKIP("PostgreSQL booleans never held -1");
        QVERIFY(m_writer->exec(QStringLiteral("INSERT INTO melders (alias, actief, \"new\", deleted) VALUES (?, -1, -1, 0)"),
                               {QStringLiteral("LEGACY")}).ok());
        auto m = MelderRepository(*m_reader).findByAlias(QStringLiteral("LEGACY"));
        QVERIFY(m.ok() && m->has_value());
        QVERIFY((*m)->actief);
        QVERIFY((*m)->isNew);
        QVERIFY(!(*m)->deleted);
    }

    void softDeleteKeepsTheRowForOldReferences()
    {
        OntvangerRepository repo(*m_writer);
        Ontvanger o;
        o.alias = QStringLiteral("AAA-weg");
        auto id = repo.insert(o);
        QVERIFY(id.ok());
        QVERIFY(repo.softDelete(*id).ok());
        auto active = repo.listActive();
        QVERIFY(active.ok());
        for (const Ontvanger& row : *active)
            QVERIFY(row.id != *id);
        auto found = repo.find(*id);
        QVERIFY(found.ok() && found->has_value());
        QVERIFY((*found)->deleted);
    }

    void serialPortsAreRemovedForReal()
    {
        ComPortRepository repo(*m_writer);
        ComPort p;
        p.number = 3;
        p.designation = 5;
        auto id = repo.insert(p);
        QVERIFY(id.ok());
        QCOMPARE(repo.withDesignation(5)->size(), 1);
        QVERIFY(repo.remove(*id).ok());
        QVERIFY(!repo.find(*id)->has_value());
    }

    void loginMatchesExactly_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right") << QStringLiteral("d'Hondt") << QStringLiteral("wacht'woord ë") << true;
        QTest::newRow("wrong password") << QStringLiteral("d'Hondt") << QStringLiteral("wachtwoord") << false;
        QTest::newRow("case differs") << QStringLiteral("D'hondt") << QStringLiteral("wacht'woord ë") << false;
        QTest::newRow("injection attempt") << QStringLiteral("' OR '1'='1") << QStringLiteral("' OR '1'='1") << false;
        QTest::newRow("empty") << QString() << QString() << false;
        QTest::newRow("deleted account") << QStringLiteral("vertrokken") << QStringLiteral("oud") << false;
    }
    void loginMatchesExactly()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        GebruikerRepository repo(*m_writer);
        if (!repo.checkLogin(QStringLiteral("d'Hondt"), QStringLiteral("wacht'woord ë"))->has_value()) {
            Gebruiker g;
            g.loginnaam = QStringLiteral("d'Hondt");
            g.wachtwoord = QStringLiteral("wacht'woord ë");
            g.naam = QStringLiteral("Els d'Hondt");
            QVERIFY(repo.insert(g).ok());
            Gebruiker gone;
            gone.loginnaam = QStringLiteral("vertrokken");
            gone.wachtwoord = QStringLiteral("oud");
            gone.naam = QStringLiteral("Oud-collega");
            gone.deleted = true;
            QVERIFY(repo.insert(gone).ok());
        }
        auto r = repo.checkLogin(login, password);
        QVERIFY(r.ok());
        QCOMPARE(r->has_value(), accepted);
        if (accepted)
            QCOMPARE((*r)->naam, QStringLiteral("Els d'Hondt"));
    }

    // A password is checked against its hash, or against the text another
    // program stored, which the first good login replaces by its hash.
    void loginAgainstStoredPassword_data()
    {
        QTest::addColumn<bool>("storedHashed");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        const QString right = QStringLiteral("wacht'woord ë $y$");
        QTest::newRow("hash, right") << true << right << true;
        QTest::newRow("hash, wrong") << true << QStringLiteral("wachtwoord") << false;
        QTest::newRow("hash, typed the hash itself") << true << QStringLiteral("<hash>") << false;
        QTest::newRow("hash, empty") << true << QString() << false;
        QTest::newRow("plain, right") << false << right << true;
        QTest::newRow("plain, wrong") << false << right.left(right.size() - 1) << false;
    }
    void loginAgainstStoredPassword()
    {
        QFETCH(bool, storedHashed);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        const QString right = QStringLiteral("wacht'woord ë $y$");
        GebruikerRepository repo(*m_writer);
        Gebruiker g;
        g.loginnaam = QStringLiteral("login-") + QString::fromLatin1(QTest::currentDataTag());
        g.naam = QStringLiteral("Operator");
        g.wachtwoord = storedHashed ? password::hash(right) : right;
        QVERIFY(password::isHash(password::hash(right)));
        auto id = repo.insert(g);
        QVERIFY(id.ok());
        if (typed == QLatin1String("<hash>"))
            typed = g.wachtwoord;

        auto r = repo.checkLogin(g.loginnaam, typed);
        QVERIFY(r.ok());
        QCOMPARE(r->has_value(), accepted);
        const QString stored = (*repo.find(*id))->wachtwoord;
        // Only a good login converts; a wrong one leaves the row as it was.
        QCOMPARE(password::isHash(stored), storedHashed || accepted);
        if (!accepted)
            return;
        QCOMPARE((*r)->wachtwoord, stored);
        // The converted account still lets its operator in, and nobody else.
        QVERIFY((*repo.checkLogin(g.loginnaam, right)).has_value());
        QVERIFY(!(*repo.checkLogin(g.loginnaam, stored)).has_value());
    }

    void samePasswordHashesDifferently()
    {
        const QString a = password::hash(QStringLiteral("geheim")), b = password::hash(QStringLiteral("geheim"));
        QVERIFY(a.startsWith(QLatin1String("$y$")));
        QVERIFY(a != b);
        QVERIFY(password::matches(QStringLiteral("geheim"), a) && password::matches(QStringLiteral("geheim"), b));
    }

    // At an upgrade every password still kept as typed becomes its hash.
    void upgradeHashesPlainPasswords()
    {
        GebruikerRepository repo(*m_writer);
        Gebruiker plain;
        plain.loginnaam = QStringLiteral("opgewaardeerd");
        plain.wachtwoord = QStringLiteral("oud-geheim");
        auto plainId = repo.insert(plain);
        Gebruiker hashed = plain;
        hashed.loginnaam = QStringLiteral("al-versleuteld");
        hashed.wachtwoord = password::hash(QStringLiteral("nieuw"));
        auto hashedId = repo.insert(hashed);
        QVERIFY(plainId.ok() && hashedId.ok());
        QVERIFY(repo.hashPlainPasswords().ok());
        auto rows = repo.list(QString());
        QVERIFY(rows.ok());
        for (const Gebruiker& g : *rows)
            QVERIFY2(password::isHash(g.wachtwoord), qPrintable(g.loginnaam));
        QCOMPARE((*repo.find(*hashedId))->wachtwoord, hashed.wachtwoord);
        QVERIFY(password::matches(QStringLiteral("oud-geheim"), (*repo.find(*plainId))->wachtwoord));
    }
};

QTEST_GUILESS_MAIN(TestRepositories)
#include "tst_repositories.moc"
