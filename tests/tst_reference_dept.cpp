#include "common/datasettree.h"
#include "common/prompter.h"
#include "common/recordpanels.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "reference/deptwindow.h"
#include "support/testdb.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

class TestDeptWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDb> db;

    void addDept(const QString &id, const QString &code, const QVariant &name, const QVariant &parent)
    {
        db->conn().exec(QStringLiteral("insert into Department (Id, Code, Name, Parent_Id) values (?,?,?,?)"),
                        QVariantList{id, code, name, parent});
    }
    QVariant dbValue(const QString &sql, const QVariantList &args = {}) { return db->conn().scalar(sql, args); }
    static void click(QToolButton *b) { QTest::mouseClick(b, Qt::LeftButton); }
    // Types text (Chinese included) as key presses carrying the characters.
    static void type(QWidget *w, const QString &text)
    {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
        }
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

    void appendBuildsTheTreeWithWholeIdsAsCodes()
    {
        ScopedScriptedPrompter prompter;
        DeptWindow w(&db->conn());
        w.show();
        click(w.appendButton());
        QCOMPARE(w.departments()->asString("Id"), QString("00"));
        QCOMPARE(w.departments()->asString("Code"), QString("00"));
        QCOMPARE(w.tree()->model()->index(0, 0).data().toString(), QString("[00]NoName"));
        click(w.appendButton());
        QCOMPARE(w.departments()->asString("Id"), QString("0001"));
        QCOMPARE(w.departments()->asString("Code"), QString("0001"));
        click(w.appendButton());
        QCOMPARE(w.departments()->asString("Id"), QString("000101"));
        QCOMPARE(w.departments()->asString("Code"), QString("000101"));
        QCOMPARE(w.departments()->asString("Parent_Id"), QString("0001"));
        // Deleting 0001 with its pending child is refused.
        w.tree()->selectKey("0001");
        click(w.deleteButton());
        QCOMPARE(prompter->lastText(), QString("本部门有下级部门,不可删除！"));
        QCOMPARE(w.departments()->recordCount(), 3);
        click(w.saveButton());
        QCOMPARE(dbValue("select count(*) from Department").toInt(), 3);
        QCOMPARE(dbValue("select Code from Department where Id='000101'").toString(), QString("000101"));
    }

    void panelEditsTheCurrentDepartment()
    {
        addDept("00", "00", "总公司", QVariant());
        addDept("0001", "0001", "财务部", "00");
        ScopedScriptedPrompter prompter;
        DeptWindow w(&db->conn());
        w.show();
        QCOMPARE(w.panels()->panelCount(), 2);
        w.tree()->selectKey("0001");
        RecordPanel *p = w.panels()->currentPanel();
        QVERIFY(p);
        QCOMPARE(static_cast<QLineEdit *>(p->editorOf("Name"))->text(), QString("财务部"));
        auto *name = static_cast<QLineEdit *>(p->editorOf("Name"));
        name->setFocus();
        name->selectAll();
        type(name, "会计部");
        auto *summary = static_cast<QPlainTextEdit *>(p->editorOf("Summary"));
        summary->setFocus();
        type(summary, "管账");
        QCOMPARE(w.tree()->currentIndex().data().toString(), QString("[0001]会计部"));
        // Typing into another department's panel makes it current.
        auto *rootCode = static_cast<QLineEdit *>(w.panels()->panelOfRow(0)->editorOf("Code"));
        rootCode->setFocus();
        rootCode->end(false);
        type(rootCode, "X");
        QCOMPARE(w.departments()->asString("Id"), QString("00"));
        QCOMPARE(w.tree()->selectedKey(), QString("00"));
        click(w.saveButton());
        QCOMPARE(dbValue("select Name from Department where Id='0001'").toString(), QString("会计部"));
        QCOMPARE(dbValue("select Summary from Department where Id='0001'").toString(), QString("管账"));
        QCOMPARE(dbValue("select Code from Department where Id='00'").toString(), QString("00X"));
    }

    void labelsAndDeletion()
    {
        addDept("00", "00", "总公司", QVariant());
        addDept("0001", "0001", QVariant(), "00");
        db->conn().exec("insert into Staffer (Code, Name, Dept_Id) values ('9','张三','0001')");
        ScopedScriptedPrompter prompter;
        DeptWindow w(&db->conn());
        w.show();
        // Not expanded on open; a node expands when it is selected.
        const QModelIndex root = w.tree()->model()->index(0, 0);
        QVERIFY(!w.tree()->isExpanded(root) || w.tree()->selectedKey() == "00");
        QCOMPARE(w.tree()->model()->index(0, 0, root).data().toString(), QString("[0001]"));
        w.tree()->selectKey("0001");
        click(w.deleteButton());
        QVERIFY(prompter->shown.empty());
        prompter->answers.push_back(Prompter::Yes);
        QVERIFY(w.close());
        QCOMPARE(dbValue("select count(*) from Department").toInt(), 1);
        QCOMPARE(dbValue("select Dept_Id from Staffer where Code='9'").toString(), QString("0001"));
    }
};

QTEST_MAIN(TestDeptWindow)
#include "tst_reference_dept.moc"
