#include "common/datasettree.h"
#include "common/recordpanels.h"
#include "data/dataset.h"
#include "queries/personalloanswindow.h"
#include "reports/engine/reportlayout.h"
#include "reports/engine/reportpreview.h"
#include "support/testdb.h"

#include <QToolButton>
#include <QtTest>

// The personal loan list: department, person, the loans out in that name.
class TestPersonalLoans : public QObject {
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
        c().exec("INSERT INTO Department (Id, Code, Name, Parent_Id) VALUES ('01','01','总部',NULL), ('0101','0101','财务部','01'), ('0102','0102','空部门','01')");
        c().exec("INSERT INTO Staffer (Code, Name, Dept_Id) VALUES ('001','张三','01'), ('002','李四','0101'), ('003','张三','0101'), ('004','王五','0101')");
        c().exec("INSERT INTO Asset (Id, Code, Name, Type, State) VALUES (1, 'A1', '电脑', '01', 2)");
        const QVariantList loans{"L0", 0, "张三", "L1", 1, "张三", "L2", 2, "张三", "L3", 3, "张三", "L4", 1, "李四", "L5", 3, "王五"};
        for (int i = 0; i < loans.size(); i += 3)
            c().exec("INSERT INTO Asset_Loan (Code, AssetId, State, Loaner) VALUES (?,1,?,?)", QVariantList{loans[i], loans[i + 1], loans[i + 2]});
    }
    void cleanup()
    {
        setReportPreviewHook({});
        db.reset();
    }

    void loansFollowThePerson()
    {
        PersonalLoansWindow w(&c());
        QCOMPARE(w.windowTitle(), QStringLiteral("个人借用物品查询"));
        QCOMPARE(w.staff()->recordCount(), c().scalar("SELECT COUNT(*) FROM Staffer").toInt()); // before a department is chosen: everyone
        QVERIFY(w.staff()->locate("Code", "001"));
        QCOMPARE(w.loans()->recordCount(), 2); // L1 and L2: tallied, not returned
        QCOMPARE(w.panels()->panelCount(), 2);
        // a namesake sees the same loans
        QVERIFY(w.staff()->locate("Code", "003"));
        QCOMPARE(w.loans()->recordCount(), 2);
        QVERIFY(w.staff()->locate("Code", "004"));
        QCOMPARE(w.loans()->recordCount(), 0); // only a returned loan

        QVERIFY(w.tree()->selectKey("0101"));
        QCOMPARE(w.staff()->recordCount(), 3);
        QCOMPARE(w.staff()->asString("Code"), QStringLiteral("002"));
        QCOMPARE(w.loans()->asString("Code"), QStringLiteral("L4"));
        QVERIFY(w.tree()->selectKey("01"));
        QCOMPARE(w.staff()->recordCount(), 4);
        QVERIFY(w.tree()->selectKey("0102"));
        QCOMPARE(w.staff()->recordCount(), 0);
        QCOMPARE(w.panels()->panelCount(), 0);
    }

    void printsTheLoansOfThePerson()
    {
        QStringList texts;
        setReportPreviewHook([&](const ReportDocument &doc) {
            for (const ReportPage &p : doc.pages)
                texts += p.texts();
        });
        PersonalLoansWindow w(&c());
        QVERIFY(w.staff()->locate("Code", "001"));
        w.findChild<QToolButton *>("PrintBtn")->click();
        QVERIFY(texts.contains("物品借用单列表"));
        QVERIFY(texts.contains("L1"));
        QVERIFY(texts.contains("归还未登帐"));
        QVERIFY(!texts.contains("L4"));
    }
};

QTEST_MAIN(TestPersonalLoans)
#include "tst_queries_personal.moc"
