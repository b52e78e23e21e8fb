#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "reference/assettypewindow.h"
#include "support/testdb.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTest>
#include <QToolButton>

class TestAssetTypeWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDb> db;

    void addType(const QString &id, const QString &code, const QString &name, const QVariant &parent)
    {
        db->conn().exec(QStringLiteral("insert into AssetType (Id, Code, Name, Parent_Id) values (?,?,?,?)"),
                        QVariantList{id, code, name, parent});
    }
    QVariant dbValue(const QString &sql, const QVariantList &args = {})
    {
        return db->conn().scalar(sql, args);
    }
    static void click(QToolButton *b) { QTest::mouseClick(b, Qt::LeftButton); }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG is not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
    }
    void cleanup() { db.reset(); }

    void firstAppendMakesTheRoot()
    {
        ScopedScriptedPrompter prompter;
        AssetTypeWindow w(&db->conn());
        w.show();
        click(w.appendButton());
        QCOMPARE(w.types()->asString("Id"), QString("00"));
        QCOMPARE(w.types()->asString("Code"), QString("00"));
        QCOMPARE(w.types()->asString("Name"), QString("NoName"));
        QVERIFY(w.types()->isNull("Parent_Id"));
        QCOMPARE(w.tree()->model()->index(0, 0).data().toString(), QString("[00]NoName"));
        QCOMPARE(w.tree()->selectedKey(), QString("00"));
        // Nothing reaches the database before Save.
        QCOMPARE(dbValue("select count(*) from AssetType").toInt(), 0);
        click(w.saveButton());
        QVERIFY(prompter->shown.empty());
        QCOMPARE(dbValue("select Name from AssetType where Id='00'").toString(), QString("NoName"));
        QVERIFY(dbValue("select Parent_Id from AssetType where Id='00'").isNull());
    }

    void appendMakesChildIds_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("existingChildren");
        QTest::addColumn<QString>("newId");
        QTest::addColumn<QString>("newCode");
        QTest::newRow("first child of the root") << "00" << 0 << "0001" << "01";
        QTest::newRow("grandchild") << "0001" << 1 << "000101" << "0101";
        QTest::newRow("tenth child") << "00" << 9 << "000A" << "0A";
        QTest::newRow("sixteenth child") << "00" << 15 << "0010" << "10";
    }
    void appendMakesChildIds()
    {
        QFETCH(QString, selected);
        QFETCH(int, existingChildren);
        QFETCH(QString, newId);
        QFETCH(QString, newCode);
        addType("00", "00", "全部", QVariant());
        for (int i = 1; i <= existingChildren; ++i)
            addType(QStringLiteral("00%1").arg(i, 2, 16, QLatin1Char('0')).toUpper(), "x", "y", "00");
        ScopedScriptedPrompter prompter;
        AssetTypeWindow w(&db->conn());
        w.show();
        QVERIFY(w.tree()->selectKey(selected));
        click(w.appendButton());
        QCOMPARE(w.types()->asString("Id"), newId);
        QCOMPARE(w.types()->asString("Code"), newCode);
        QCOMPARE(w.types()->asString("Parent_Id"), selected);
        QCOMPARE(w.tree()->selectedKey(), newId);
        QCOMPARE(w.tree()->currentIndex().parent().data().toString().isEmpty(), false);
        click(w.saveButton());
        QCOMPARE(dbValue("select Parent_Id from AssetType where Id=?", {newId}).toString(), selected);
    }

    void aParentWithChildFFTakesNoMore()
    {
        addType("00", "00", "全部", QVariant());
        addType("00FF", "FF", "末位", "00");
        ScopedScriptedPrompter prompter;
        AssetTypeWindow w(&db->conn());
        w.show();
        w.tree()->selectKey("00");
        click(w.appendButton());
        QCOMPARE(prompter->shown.size(), size_t(1));
        QCOMPARE(w.types()->recordCount(), 2);
        QVERIFY(!w.types()->hasPendingUpdates());
        QCOMPARE(w.tree()->selectedKey(), QString("00"));
    }

    void pendingRowsCountForIdsAndChildren()
    {
        addType("00", "00", "全部", QVariant());
        ScopedScriptedPrompter prompter;
        AssetTypeWindow w(&db->conn());
        w.show();
        w.tree()->selectKey("00");
        click(w.appendButton());
        QCOMPARE(w.types()->asString("Id"), QString("0001"));
        w.tree()->selectKey("00");
        click(w.appendButton());
        QCOMPARE(w.types()->asString("Id"), QString("0002"));
        // 0002 gets a pending child; deleting 0002 is refused.
        click(w.appendButton());
        QCOMPARE(w.types()->asString("Id"), QString("000201"));
        w.tree()->selectKey("0002");
        click(w.deleteButton());
        QCOMPARE(prompter->lastText(), QString("本分类有下级分类,不可删除！"));
        QVERIFY(w.tree()->selectKey("0002"));
        QCOMPARE(w.types()->recordCount(), 4);
    }

    void closeQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("rowsInDb");
        QTest::newRow("yes saves") << int(Prompter::Yes) << true << 1;
        QTest::newRow("no drops") << int(Prompter::No) << true << 2;
        QTest::newRow("cancel stays") << int(Prompter::Cancel) << false << 2;
    }
    void closeQuestion()
    {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(int, rowsInDb);
        addType("00", "00", "全部", QVariant());
        addType("0001", "01", "电脑", "00");
        ScopedScriptedPrompter prompter;
        AssetTypeWindow w(&db->conn());
        w.show();
        QVERIFY(w.queryClose()); // nothing pending: no question
        QVERIFY(prompter->shown.empty());
        w.tree()->selectKey("0001");
        click(w.deleteButton());
        QVERIFY(prompter->shown.empty()); // a leaf goes without a question
        prompter->answers.push_back(Prompter::Answer(answer));
        QCOMPARE(w.close(), closes);
        QCOMPARE(prompter->shown.size(), size_t(1));
        QCOMPARE(prompter->shown[0].text, QString("数据已经修改，需要保存吗？"));
        QCOMPARE(prompter->shown[0].title, QString("提示信息"));
        QCOMPARE(dbValue("select count(*) from AssetType").toInt(), rowsInDb);
    }

    void closeButtonClosesTheSubWindow()
    {
        ScopedScriptedPrompter prompter;
        QMdiArea area;
        auto *w = new AssetTypeWindow(&db->conn());
        QMdiSubWindow *sub = area.addSubWindow(w);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<QMdiSubWindow> alive(sub);
        area.show();
        sub->showMaximized();
        click(w->appendButton());
        prompter->answers.push_back(Prompter::Cancel);
        click(w->closeButton());
        QVERIFY(alive && alive->isVisible());
        prompter->answers.push_back(Prompter::Yes);
        click(w->closeButton());
        QTRY_VERIFY(!alive);
        QCOMPARE(prompter->shown.size(), size_t(2));
        QCOMPARE(dbValue("select Name from AssetType where Id='00'").toString(), QString("NoName"));
    }

    void failedSaveKeepsEverything()
    {
        addType("00", "00", "全部", QVariant());
        ScopedScriptedPrompter prompter;
        AssetTypeWindow w(&db->conn());
        w.show();
        // Another desk saves child 0001 after this window read the tree.
        addType("0001", "01", "别人加的", "00");
        w.tree()->selectKey("00");
        click(w.appendButton());
        QCOMPARE(w.types()->asString("Id"), QString("0001"));
        click(w.saveButton());
        QCOMPARE(prompter->lastText(), QString("保存失败！"));
        QVERIFY(w.types()->hasPendingUpdates());
        // "Yes" whose save fails keeps the window open with its rows.
        prompter->answers.push_back(Prompter::Yes);
        QVERIFY(!w.close());
        QCOMPARE(prompter->shown.back().text, QString("保存失败！"));
        QVERIFY(w.types()->hasPendingUpdates());
        QCOMPARE(dbValue("select Name from AssetType where Id='0001'").toString(), QString("别人加的"));
        prompter->answers.push_back(Prompter::No);
        QVERIFY(w.close());
    }

    void labelsAreCutAtThirtyBytes()
    {
        const QString name = QStringLiteral("这是一个非常非常长的分类名称用来测试");
        addType("00", "00", name, QVariant());
        addType("0001", "01", QVariant().toString(), "00");
        db->conn().exec("update AssetType set Name=null where Id='0001'");
        AssetTypeWindow w(&db->conn());
        w.show();
        const QModelIndex root = w.tree()->model()->index(0, 0);
        const QString label = root.data().toString();
        QVERIFY(UiLook::gbkLength(label) <= 30);
        QVERIFY(label.startsWith("[00]这是"));
        QCOMPARE(UiLook::gbkLength(label), 30);
        QCOMPARE(root.data(Qt::ToolTipRole).toString(), "[00]" + name);
        QCOMPARE(w.grid()->model()->index(0, 1).data().toString(), name);
        // A category without a name has an empty label.
        QCOMPARE(w.tree()->model()->index(0, 0, root).data().toString(), QString());
    }

    void editingInTheGridIsPending()
    {
        addType("00", "00", "全部", QVariant());
        ScopedScriptedPrompter prompter;
        AssetTypeWindow w(&db->conn());
        w.show();
        QVERIFY(w.grid()->model()->setData(w.grid()->model()->index(0, 1), "所有资产"));
        QCOMPARE(w.tree()->model()->index(0, 0).data().toString(), QString("[00]所有资产"));
        QCOMPARE(dbValue("select Name from AssetType").toString(), QString("全部"));
        click(w.saveButton());
        QCOMPARE(dbValue("select Name from AssetType").toString(), QString("所有资产"));
    }

    void titleClickSortsAndMarks()
    {
        addType("00", "00", "全部", QVariant());
        addType("0001", "01", "乙", "00");
        addType("0002", "02", "甲", "00");
        AssetTypeWindow w(&db->conn());
        w.show();
        w.grid()->clickTitle(0);
        QCOMPARE(w.grid()->marker(0), SortMarker::Down);
        QCOMPARE(w.grid()->model()->index(0, 0).data().toString(), QString("02"));
        w.grid()->clickTitle(0);
        QCOMPARE(w.grid()->marker(0), SortMarker::Up);
        QCOMPARE(w.grid()->model()->index(0, 0).data().toString(), QString("00"));
        w.grid()->clickTitle(1);
        QCOMPARE(w.grid()->marker(0), SortMarker::None);
        QCOMPARE(w.grid()->marker(1), SortMarker::Down);
        // The tree keeps its shape whatever the grid's order.
        QCOMPARE(w.tree()->model()->rowCount(), 1);
        QCOMPARE(w.tree()->model()->rowCount(w.tree()->model()->index(0, 0)), 2);
    }
};

QTEST_MAIN(TestAssetTypeWindow)
#include "tst_reference_assettype.moc"
