#include "data/connection.h"
#include "data/dataset.h"
#include "queries/personalloanswindow.h"
#include "support/testdb.h"

#include <QTest>

Q_DECLARE_METATYPE(Engine)

// A person's loans are found by the person's name: names full of quotes and
// wildcards find exactly their own loans, never a look-alike's.
class QueriesBadInputTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDb> db;
    Connection &c() { return db->conn(); }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
        c().exec("INSERT INTO Department (Id, Code, Name, Parent_Id) VALUES ('01','01','总部',NULL)");
        c().exec("INSERT INTO Asset (Id, Code, Name, Type, State) VALUES (1, 'A1', '电脑', '01', 2)");
    }
    void cleanup() { db.reset(); }

    void loansOfANameWithQuotesAndWildcards_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("lookalike");
        QTest::newRow("quote") << "O'Brien" << "O''Brien";
        QTest::newRow("double quote") << "\"老\"张" << "老张";
        QTest::newRow("percent") << "张%" << "张三";
        QTest::newRow("underscore") << "张_" << "张三";
        QTest::newRow("star and question mark") << "张*?" << "张三四";
        QTest::newRow("backslash") << "张\\三" << "张\\\\三";
        QTest::newRow("statement end") << "';--" << "'";
    }
    void loansOfANameWithQuotesAndWildcards()
    {
        QFETCH(QString, name);
        QFETCH(QString, lookalike);
        c().exec("INSERT INTO Staffer (Code, Name, Dept_Id) VALUES ('1', ?, '01'), ('2', ?, '01')", QVariantList{name, lookalike});
        // Two loans out in the name, one in the look-alike's.
        c().exec("INSERT INTO Asset_Loan (Code, AssetId, State, Loaner) VALUES ('L1', 1, 1, ?), ('L2', 1, 2, ?), ('L3', 1, 1, ?)",
                 QVariantList{name, name, lookalike});
        PersonalLoansWindow w(&c());
        QVERIFY(w.staff()->locate(QStringLiteral("Name"), name));
        QCOMPARE(w.staff()->asString(QStringLiteral("Code")), QStringLiteral("1"));
        QCOMPARE(w.loans()->recordCount(), 2);
        QVERIFY(w.staff()->locate(QStringLiteral("Code"), QStringLiteral("2")));
        QCOMPARE(w.loans()->recordCount(), 1);
        QCOMPARE(w.loans()->asString(QStringLiteral("Code")), QStringLiteral("L3"));
    }
};

QTEST_MAIN(QueriesBadInputTest)
#include "tst_queries_badinput.moc"
