#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/recordpanels.h"
#include "data/dataset.h"
#include "queries/assethistorywindow.h"
#include "support/testdb.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QtTest>

// The asset history follows one item through every bill that touched it.
class TestAssetHistory : public QObject {
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
        c().exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('01','01','设备',NULL), ('0101','0101','电脑','01'), ('02','02','家具',NULL), ('03','03','空',NULL)");
        c().exec("INSERT INTO Asset_Add (Id, Code, Type, Name, BuildDate, AddNumber, Firm, State) VALUES (7, '2024010101', '0101', '电脑', ?, 1, '某公司', 1)",
                 QVariantList{QDate(2024, 1, 1)});
        c().exec("INSERT INTO Asset (Id, Code, Name, Type, Add_Id, State, Department) VALUES (1, 'A1', '电脑', '0101', 7, 4, '财务部'), "
                 "(2, 'B1', '桌子', '02', NULL, 1, '办公室'), (3, 'A0', '主机', '01', NULL, 2, '')");
        // two transfers, the later bill entered first
        c().exec("INSERT INTO Asset_Move (Id, Code, BuildDate, MoveDate, ToDept, State) VALUES (21, '2024030101', ?, ?, '办公室', 1), (20, '2024020101', ?, ?, '财务部', 0)",
                 QVariantList{QDate(2024, 3, 1), QDate(2024, 3, 2), QDate(2024, 2, 1), QDate(2024, 2, 2)});
        c().exec("INSERT INTO Asset_Move_Item (MoveId, AssetId, keeper, Place) VALUES (21, 1, '李四', '二楼'), (20, 1, '张三', '一楼'), (20, 2, '王五', '三楼')");
        c().exec("INSERT INTO Asset_Loan (Code, AssetId, LoanDate, Loaner, BackDate, Backer, State) VALUES ('2024040101', 1, ?, '赵六', ?, '赵六', 3)",
                 QVariantList{QDate(2024, 4, 1), QDate(2024, 4, 10)});
        c().exec("INSERT INTO Asset_Service (Code, AssetId, ServiceDate, ServiceDept, Cause, State) VALUES ('2024050101', 1, ?, '维修站', '不开机', 3)",
                 QVariantList{QDate(2024, 5, 1)});
        c().exec("INSERT INTO Asset_Discard (Code, AssetId, DecDate, DecType, Cause, State) VALUES ('2024060101', 1, ?, '报废', '老化', 1)",
                 QVariantList{QDate(2024, 6, 1)});
    }
    void cleanup() { db.reset(); }

    void followsAnItemThroughItsBills()
    {
        AssetHistoryWindow w(&c());
        QCOMPARE(w.windowTitle(), QStringLiteral("物品变动查询"));
        QCOMPARE(w.items()->recordCount(), 3); // no category chosen: every item
        QCOMPARE(w.pages()->currentIndex(), 0);
        QVERIFY(w.items()->locate("Code", "A1"));
        QCOMPARE(w.acquisition()->asString("Code"), QStringLiteral("2024010101"));
        QCOMPARE(w.findChild<QLineEdit *>("Firm")->text(), QStringLiteral("某公司"));
        QCOMPARE(column(w.transfers(), "Code"), (QStringList{"2024020101", "2024030101"})); // older bill first, untallied too
        QCOMPARE(column(w.transfers(), "keeper"), (QStringList{"张三", "李四"}));
        QCOMPARE(w.transferPanels()->panelCount(), 2);
        QCOMPARE(column(w.loans(), "BackDate").size(), 1);
        QCOMPARE(w.loans()->asString("Backer"), QStringLiteral("赵六")); // loan and return on one panel
        QCOMPARE(w.loanPanels()->panelCount(), 1);
        QCOMPARE(w.repairs()->asString("Cause"), QStringLiteral("不开机"));
        QCOMPARE(w.writeOff()->asString("DecType"), QStringLiteral("报废"));
        QCOMPARE(w.pages()->tabText(2), QStringLiteral("物品借出/归还单"));

        // an item entered on the ledger directly: empty acquisition page and no loans
        QVERIFY(w.items()->locate("Code", "B1"));
        QCOMPARE(w.acquisition()->recordCount(), 0);
        QCOMPARE(w.transfers()->recordCount(), 1);
        QCOMPARE(w.loans()->recordCount(), 0);
        QCOMPARE(w.loanPanels()->panelCount(), 0);
        QCOMPARE(w.writeOff()->recordCount(), 0);
    }

    void categoriesNarrowTheItems_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("parent takes its children") << "01" << QStringList{"A1", "A0"};
        QTest::newRow("leaf") << "0101" << QStringList{"A1"};
        QTest::newRow("no items") << "03" << QStringList{};
    }
    void categoriesNarrowTheItems()
    {
        QFETCH(QString, category);
        QFETCH(QStringList, codes);
        AssetHistoryWindow w(&c());
        QVERIFY(w.tree()->selectKey(category));
        QCOMPARE(column(w.items(), "Code"), codes);
        if (codes.isEmpty()) {
            QCOMPARE(w.acquisition()->recordCount(), 0);
            QCOMPARE(w.transfers()->recordCount(), 0);
            QCOMPARE(w.findChild<QLineEdit *>("Code")->text(), QString());
        } else {
            // sorting by name keeps the category
            w.grid()->clickTitle(1);
            QCOMPARE(w.items()->recordCount(), codes.size());
        }
    }

    void rowColoursByState()
    {
        QCOMPARE(AssetHistoryWindow::stateColour(1), QColor(255, 251, 240));
        QCOMPARE(AssetHistoryWindow::stateColour(3), QColor(192, 220, 192));
        QVERIFY(AssetHistoryWindow::stateColour(2) != AssetHistoryWindow::stateColour(4));
    }
};

QTEST_MAIN(TestAssetHistory)
#include "tst_queries_history.moc"
