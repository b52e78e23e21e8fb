#include "common/datagrid.h"
#include "common/prompter.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "reference/codetableswindow.h"
#include "support/testdb.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

class TestCodeTablesWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDb> db;
    QVariant dbValue(const QString &sql, const QVariantList &args = {}) { return db->conn().scalar(sql, args); }
    static void click(QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton); }

    // Appends a row on the shown page and types its name, as a user would.
    static void addName(CodeTablesWindow &w, const QString &name)
    {
        click(w.appendButton());
        DataGrid *g = w.grid(w.currentPage());
        QVERIFY(g->model()->setData(g->model()->index(w.table(w.currentPage())->currentRow(), 0), name));
    }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG is not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
    }
    void cleanup() { db.reset(); }

    void pageTitlesFollowTheButtons_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("columnTitle");
        QTest::newRow("units") << 0 << "计量单位维护" << "计量单位";
        QTest::newRow("places") << 1 << "存放位置维护" << "存放位置";
        QTest::newRow("add modes") << 2 << "增加方式维护" << "增加方式";
        QTest::newRow("write-off modes") << 3 << "销账方式维护" << "销账方式";
        QTest::newRow("manufacturers") << 4 << "制造厂商维护" << "制造厂商";
        QTest::newRow("suppliers") << 5 << "供应厂商维护" << "供应厂商";
    }
    void pageTitlesFollowTheButtons()
    {
        QFETCH(int, page);
        QFETCH(QString, title);
        QFETCH(QString, columnTitle);
        CodeTablesWindow w(&db->conn());
        w.show();
        QCOMPARE(w.pageTitle(), QString("计量单位维护"));
        click(w.pageButton(page));
        QCOMPARE(w.currentPage(), page);
        QCOMPARE(w.pageTitle(), title);
        QCOMPARE(w.grid(page)->model()->headerData(0, Qt::Horizontal).toString(), columnTitle);
    }

    void savesEveryTableAndAsksOnClose()
    {
        ScopedScriptedPrompter prompter;
        CodeTablesWindow w(&db->conn());
        w.show();
        addName(w, "台");
        click(w.pageButton(5));
        addName(w, "华强公司");
        click(w.saveButton());
        QVERIFY(prompter->shown.empty());
        QCOMPARE(dbValue("select Name from Units").toString(), QString("台"));
        QCOMPARE(dbValue("select Name from Firm").toString(), QString("华强公司"));
        QVERIFY(w.queryClose());
        // Changing only the supplier page raises the question.
        addName(w, "远方公司");
        prompter->answers.push_back(Prompter::Cancel);
        QVERIFY(!w.close());
        QCOMPARE(prompter->lastText(), QString("数据已经修改，需要保存吗？"));
        prompter->answers.push_back(Prompter::No);
        QVERIFY(w.close());
        QCOMPARE(dbValue("select count(*) from Firm").toInt(), 1);
    }

    void oneFailingTableShowsOnlyItsMessage()
    {
        db->conn().exec("insert into DecMode (Name) values ('报废')");
        ScopedScriptedPrompter prompter;
        CodeTablesWindow w(&db->conn());
        w.show();
        for (int page = 0; page < CodeTablesWindow::PageCount; ++page) {
            click(w.pageButton(page));
            if (page == 3) {
                DataGrid *g = w.grid(3);
                QVERIFY(g->model()->setData(g->model()->index(0, 0), "报损"));
            } else {
                addName(w, QStringLiteral("名%1").arg(page));
            }
        }
        // Someone else removes the write-off mode this window changed.
        db->openAnother()->exec("delete from DecMode");
        click(w.saveButton());
        QCOMPARE(prompter->texts(), QStringList{"减少方式代码表保存失败！"});
        for (const char *t : {"Units", "Positions", "AddMode", "Factory", "Firm"})
            QCOMPARE(dbValue(QStringLiteral("select count(*) from %1").arg(t)).toInt(), 1);
        QVERIFY(w.table(3)->hasPendingUpdates());
        QVERIFY(!w.table(0)->hasPendingUpdates());
        // Yes whose save fails again keeps the window and the change.
        prompter->answers.push_back(Prompter::Yes);
        QVERIFY(!w.close());
        QVERIFY(w.table(3)->hasPendingUpdates());
    }

    void typedNameIsSavedFromTheOpenCell()
    {
        ScopedScriptedPrompter prompter;
        CodeTablesWindow w(&db->conn());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        click(w.pageButton(4));
        click(w.appendButton());
        // Append opens the new row's cell for typing.
        auto *editor = w.grid(4)->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor && editor->isVisible());
        QTest::keyClicks(editor, "Lenovo");
        click(w.saveButton());
        QVERIFY(prompter->shown.empty());
        QCOMPARE(dbValue("select Name from Factory").toString(), QString("Lenovo"));
        QVERIFY(w.queryClose());
    }

    void deleteOnAnEmptyPageDoesNothing()
    {
        db->conn().exec("insert into Units (Name) values ('个')");
        ScopedScriptedPrompter prompter;
        CodeTablesWindow w(&db->conn());
        w.show();
        click(w.pageButton(1));
        click(w.deleteButton());
        QVERIFY(prompter->shown.empty());
        QVERIFY(w.queryClose());
        click(w.pageButton(0));
        click(w.deleteButton());
        QCOMPARE(w.table(0)->recordCount(), 0);
        click(w.saveButton());
        QCOMPARE(dbValue("select count(*) from Units").toInt(), 0);
    }

    void namesLongerThanTheColumnAreRefused()
    {
        ScopedScriptedPrompter prompter;
        CodeTablesWindow w(&db->conn());
        w.show();
        click(w.appendButton());
        DataGrid *g = w.grid(0);
        QVERIFY(!g->model()->setData(g->model()->index(0, 0), QString(11, QChar(u'个'))));
        QCOMPARE(prompter->shown.size(), size_t(1));
        QVERIFY(w.table(0)->isNull("Name"));
    }
};

QTEST_MAIN(TestCodeTablesWindow)
#include "tst_reference_codetables.moc"
