#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/prompter.h"
#include "data/dataset.h"
#include "reports/engine/reportpreview.h"
#include "reports/statwindows.h"
#include "support/testdb.h"

#include <QToolButton>
#include <QtTest>

// The summary and list windows: their opening dates, refresh, messages, footer and print.
class TestReportWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDb> db;
    Connection &c() { return db->conn(); }

    void fixture()
    {
        c().exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('01','01','办公设备','0'), ('02','02','家具','0')");
        const QVariantList rows{"A1", "01", QDate(2023, 5, 1), 100.25, "A2", "01", QDate(2024, 2, 29), 10.0, "B1", "02", QDate(2023, 1, 1), 5.5,
                                "B2", "02", QDate(2024, 3, 1), 7.0};
        for (int i = 0; i < rows.size(); i += 4)
            c().exec("INSERT INTO Asset (Code, Name, Type, BuyDate, Price, State) VALUES (?,?,?,?,?,1)",
                     QVariantList{rows[i], rows[i].toString() + "号", rows[i + 1], rows[i + 2], rows[i + 3]});
    }

    static void click(QWidget *w, const char *name) { w->findChild<QToolButton *>(QLatin1String(name))->click(); }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
        StatReportWindow::setTodayForTests(QDate(2024, 3, 15));
        fixture();
    }
    void cleanup()
    {
        setReportPreviewHook({});
        db.reset();
    }

    void summaryOpensOnThePreviousMonth()
    {
        CategorySummaryWindow w(&c());
        QCOMPARE(w.windowTitle(), QStringLiteral("物品分类汇总报表"));
        QCOMPARE(w.fromEdit()->text(), QStringLiteral("2024/2/1"));
        QCOMPARE(w.toEdit()->text(), QStringLiteral("2024/2/29"));
        QCOMPARE(w.rows()->recordCount(), 2);
        QCOMPARE(w.grid()->footerText(1), QStringLiteral("合计"));
        QCOMPARE(w.grid()->footerText(2), QStringLiteral("2"));          // qcsl
        QCOMPARE(w.grid()->footerText(3), QStringLiteral("105.75"));     // qcjz
        QCOMPARE(w.grid()->footerText(4), QStringLiteral("1"));          // zjsl (A2 on the to date)
        QCOMPARE(w.grid()->footerText(8), QStringLiteral("3"));          // qmsl
        QCOMPARE(w.grid()->footerText(9), QStringLiteral("115.75"));

        // a wider period after Refresh takes B2 in
        w.toEdit()->setText("2024-03-01");
        click(&w, "RefreshBtn");
        QCOMPARE(w.grid()->footerText(4), QStringLiteral("2"));
        QCOMPARE(w.grid()->footerText(9), QStringLiteral("122.75"));
    }

    void badDatesAreToldAndNothingChanges_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("message");
        QTest::newRow("summary from") << int(StatReportWindow::Kind::Summary) << "from" << "起始日期格式错误";
        QTest::newRow("summary to") << int(StatReportWindow::Kind::Summary) << "to" << "终止日期格式错误";
        QTest::newRow("additions to") << int(StatReportWindow::Kind::Additions) << "to" << "终止日期格式错误";
        QTest::newRow("category list") << int(StatReportWindow::Kind::CategoryList) << "date" << "日期格式错误";
        QTest::newRow("matured list") << int(StatReportWindow::Kind::Matured) << "date" << "日期格式错误";
    }
    void badDatesAreToldAndNothingChanges()
    {
        QFETCH(int, kind);
        QFETCH(QString, box);
        QFETCH(QString, message);
        ScopedScriptedPrompter prompter;
        StatReportWindow w(StatReportWindow::Kind(kind), &c());
        const int before = w.rows()->recordCount();
        DateEdit *e = box == "from" ? w.fromEdit() : box == "to" ? w.toEdit() : w.dateEdit();
        e->setText("2024/13/40");
        click(&w, "RefreshBtn");
        QCOMPARE(prompter->texts(), QStringList{message});
        QCOMPARE(w.rows()->recordCount(), before);
    }

    void listsOpenOnTheirDates()
    {
        CategoryListWindow list(&c());
        QCOMPARE(list.dateEdit()->text(), QStringLiteral("2024/3/15"));
        QCOMPARE(list.rows()->recordCount(), 4);
        AdditionsListWindow added(&c());
        QCOMPARE(added.fromEdit()->text(), QStringLiteral("2024/2/1"));
        QCOMPARE(added.rows()->recordCount(), 1); // A2 on 2024-02-29; B2 on 2024-03-01 is not
        DepartmentListWindow dept(&c());
        QCOMPARE(dept.windowTitle(), QStringLiteral("部门物品分类明细表"));
        QCOMPARE(dept.grid()->frozenColumns(), 5);
    }

    // The printed heading takes the boxes as they are when printing, even
    // when they were changed after the last Refresh.
    void printUsesTheBoxesAtPrintTime()
    {
        QStringList texts;
        setReportPreviewHook([&](const ReportDocument &doc) {
            for (const ReportPage &p : doc.pages)
                texts += p.texts();
        });
        CategorySummaryWindow w(&c());
        w.fromEdit()->setText("2024/1/1");
        click(&w, "PrintBtn");
        QVERIFY(texts.contains(QStringLiteral("2024年01月01日 至 2024年02月29日")));
        QVERIFY(texts.contains(QStringLiteral("办公设备")));

        ScopedScriptedPrompter prompter;
        texts.clear();
        MaturedListWindow m(&c());
        m.dateEdit()->setText("x");
        click(&m, "PrintBtn");
        QCOMPARE(prompter->texts(), QStringList{"起始日期格式错误"});
        QVERIFY(texts.contains(QStringLiteral("到期资产分类明细列表")));
    }
};

QTEST_MAIN(TestReportWindows)
#include "tst_reports_windows.moc"
