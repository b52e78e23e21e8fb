#include "common/boundeditors.h"
#include "common/prompter.h"
#include "data/dataset.h"
#include "queries/billquerywindow.h"
#include "support/testdb.h"

#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

// The acquisition, transfer and write-off bill queries on both engines.
class TestBillQueries : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDb> db;
    Connection &c() { return db->conn(); }

    static QStringList column(Dataset *ds, const char *field)
    {
        QStringList out;
        for (int r = 0; r < ds->recordCount(); ++r)
            out << ds->valueAt(r, ds->fieldIndex(field)).toString();
        return out;
    }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
        BillQueryWindow::setTodayForTests(QDate(2024, 3, 15));
        c().exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('01','0101','电脑',NULL)");
        c().exec("INSERT INTO Asset (Id, Code, Name, Type, State) VALUES (1, 'A1', '电脑', '01', 4)");
        const QVariantList add{"D0", 0, QDate(2023, 1, 1), "01", "D1", 1, QDate(2024, 3, 1), QVariant(), "D2", 1, QDate(2024, 2, 1), "01"};
        for (int i = 0; i < add.size(); i += 4)
            c().exec("INSERT INTO Asset_Add (Code, State, BuildDate, Type, Name) VALUES (?,?,?,?,'电脑')", QVariantList{add[i], add[i + 1], add[i + 2], add[i + 3]});
        c().exec("INSERT INTO Asset_Move (Id, Code, State, BuildDate, ToDept) VALUES (1,'M0',0,?,'甲'), (2,'M1',1,?,'乙'), (3,'M2',1,?,'丙')",
                 QVariantList{QDate(2022, 1, 1), QDate(2024, 3, 10), QDate(2024, 1, 1)});
        c().exec("INSERT INTO Asset_Move_Item (MoveId, AssetId, keeper) VALUES (2, 1, '张三'), (2, 9, '李四')");
        // write-offs are listed by their write-off date, not the bill date
        c().exec("INSERT INTO Asset_Discard (Code, AssetId, State, BuildDate, DecDate) VALUES ('X0',1,0,?,?), ('X1',1,1,?,?), ('X2',9,1,?,?)",
                 QVariantList{QDate(2020, 1, 1), QDate(2020, 1, 1), QDate(2023, 1, 1), QDate(2024, 3, 1), QDate(2024, 3, 1), QDate(2023, 1, 1)});
    }
    void cleanup() { db.reset(); }

    void acquisitions()
    {
        AcquisitionQueryWindow w(&c());
        QCOMPARE(w.windowTitle(), QStringLiteral("物品增加单查询"));
        QCOMPARE(w.minDateEdit()->text(), QStringLiteral("2024/2/15"));
        QCOMPARE(column(w.list(), "Code"), (QStringList{"D0", "D1"}));
        QCOMPARE(column(w.list(), "Typename"), (QStringList{"[0101]电脑", ""}));
        w.minDateEdit()->setText("2024-02-01");
        w.findChild<QToolButton *>("RefreshBtn")->click();
        QCOMPARE(column(w.list(), "Code"), (QStringList{"D0", "D1", "D2"}));
    }

    void transfersAndTheirLines()
    {
        TransferQueryWindow w(&c());
        QCOMPARE(column(w.list(), "Code"), (QStringList{"M0", "M1"}));
        QCOMPARE(w.lines()->recordCount(), 0); // a bill without lines
        QVERIFY(w.list()->locate("Code", "M1"));
        QCOMPARE(column(w.lines(), "keeper"), (QStringList{"张三", "李四"}));
        QCOMPARE(column(w.lines(), "AssetCode"), (QStringList{"A1", ""})); // the item of the second line is gone
        QCOMPARE(w.findChild<QLineEdit *>("keeper")->text(), QStringLiteral("张三"));
    }

    void writeOffsByTheirDate()
    {
        ScopedScriptedPrompter prompter;
        WriteOffQueryWindow w(&c());
        QCOMPARE(column(w.list(), "Code"), (QStringList{"X0", "X1"}));
        QVERIFY(w.list()->locate("Code", "X0"));
        QCOMPARE(w.list()->asString("Name"), QStringLiteral("电脑"));
        w.minDateEdit()->setText("2022/1/1");
        w.maxDateEdit()->setText("2023/1/1");
        w.findChild<QToolButton *>("RefreshBtn")->click();
        QCOMPARE(column(w.list(), "Code"), (QStringList{"X0", "X2"}));
        QVERIFY(w.list()->locate("Code", "X2"));
        QVERIFY(w.list()->isNull("AssetCode"));
        w.maxDateEdit()->setText("2023/2/30");
        w.findChild<QToolButton *>("RefreshBtn")->click();
        QCOMPARE(prompter->texts(), QStringList{"终止日期格式错误？"});
        QCOMPARE(w.list()->recordCount(), 2);
    }
};

QTEST_MAIN(TestBillQueries)
#include "tst_queries_bills.moc"
