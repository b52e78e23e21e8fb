#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "reference/photo.h"
#include "reference/staffwindow.h"
#include "support/testdb.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// The staff window: department filter, card, photo menu.
class TestStaff : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDb> db;
    QTemporaryDir tmp;

    static QByteArray encoded(const char *fmt)
    {
        QImage img(12, 16, QImage::Format_RGB32);
        img.fill(QColor(200, 30, 30));
        QByteArray out;
        QBuffer b(&out);
        b.open(QIODevice::WriteOnly);
        img.save(&b, fmt);
        return out;
    }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = tmp.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    void addDept(const QString &id, const QString &name, const QVariant &parent)
    {
        db->conn().exec("insert into Department (Id, Code, Name, Parent_Id) values (?,?,?,?)", QVariantList{id, id, name, parent});
    }
    void addStaff(const QString &code, const QString &name, const QString &dept, const QVariant &photo = QVariant())
    {
        db->conn().exec("insert into Staffer (Code, Name, Dept_Id, Photo) values (?,?,?,?)",
                        QVariantList{code, name, dept, photo.isNull() ? QVariant(QMetaType(QMetaType::QByteArray)) : photo});
    }
    QVariant dbValue(const QString &sql, const QVariantList &args = {}) { return db->conn().scalar(sql, args); }
    static void click(QToolButton *b) { QTest::mouseClick(b, Qt::LeftButton); }

    void initWindow()
    {
        addDept("00", "总公司", QVariant());
        addDept("0001", "财务部", "00");
        addDept("0002", "技术部", "00");
        addStaff("1", "张三", "0001");
        addStaff("2", "李四", "0002");
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

    void appendUnderADepartment()
    {
        initWindow();
        ScopedScriptedPrompter prompter;
        StaffWindow w(&db->conn());
        w.show();
        QCOMPARE(w.staff()->recordCount(), 3); // the administrator too, until a node is chosen
        QVERIFY(w.tree()->selectKey("0001"));
        QCOMPARE(w.staff()->recordCount(), 1);
        click(w.appendButton());
        QCOMPARE(w.staff()->asString("Dept_Id"), QString("0001"));
        QVERIFY(w.editorsEnabled());
        w.staff()->setValue("Code", "3");
        w.staff()->setValue("Name", "王五");
        click(w.saveButton());
        QVERIFY(prompter->shown.empty());
        QCOMPARE(dbValue("select Dept_Id from Staffer where Code='3'").toString(), QString("0001"));
        // After the save the same department and the same person are shown.
        QCOMPARE(w.staff()->asString("Name"), QString("王五"));
        QCOMPARE(w.staff()->recordCount(), 2);
        w.tree()->selectKey("0002");
        QVERIFY(!w.staff()->locate("Code", "3"));
        w.tree()->selectKey("00");
        QVERIFY(w.staff()->locate("Code", "3"));
        QCOMPARE(w.staff()->recordCount(), 3);
    }

    void typingOnTheCardIsSaved()
    {
        initWindow();
        ScopedScriptedPrompter prompter;
        StaffWindow w(&db->conn());
        w.show();
        w.tree()->selectKey("0002");
        auto *mobile = static_cast<QLineEdit *>(w.editorOf("Mobile_Tel_No"));
        QTest::keyClicks(mobile, "13900001111");
        auto *height = static_cast<QLineEdit *>(w.editorOf("Height"));
        QTest::keyClicks(height, "175.5");
        auto *birthday = static_cast<QLineEdit *>(w.editorOf("Birthday"));
        QTest::keyClicks(birthday, "1990-04-01");
        auto *sex = static_cast<QComboBox *>(w.editorOf("Sex"));
        sex->setCurrentIndex(1);
        emit sex->activated(1);
        auto *dept = static_cast<QComboBox *>(w.editorOf("deptName"));
        const int finance = dept->findText("财务部");
        dept->setCurrentIndex(finance);
        emit dept->activated(finance);
        click(w.saveButton());
        QVERIFY(prompter->shown.empty());
        const QVariantList who{QString("2")};
        QCOMPARE(dbValue("select Mobile_Tel_No from Staffer where Code=?", who).toString(), QString("13900001111"));
        QCOMPARE(dbValue("select Height from Staffer where Code=?", who).toDouble(), 175.5);
        QCOMPARE(dbValue("select Sex from Staffer where Code=?", who).toString(), QString("女"));
        QCOMPARE(dbValue("select Dept_Id from Staffer where Code=?", who).toString(), QString("0001"));
        QCOMPARE(dbValue("select Birthday from Staffer where Code=?", who).toDateTime().date(), QDate(1990, 4, 1));
    }

    void emptyDepartmentDisablesTheCard()
    {
        initWindow();
        addDept("0003", "后勤部", "00");
        StaffWindow w(&db->conn());
        w.show();
        w.tree()->selectKey("0003");
        QVERIFY(!w.editorsEnabled());
        QVERIFY(!w.photo()->isEnabled());
        w.tree()->selectKey("0001");
        QVERIFY(w.editorsEnabled());
        QVERIFY(w.photo()->isEnabled());
        QCOMPARE(static_cast<QLineEdit *>(w.editorOf("Name"))->text(), QString("张三"));
        QCOMPARE(static_cast<QComboBox *>(w.editorOf("deptName"))->currentText(), QString("财务部"));
    }

    void appendWithoutDepartments()
    {
        ScopedScriptedPrompter prompter;
        StaffWindow w(&db->conn());
        click(w.appendButton());
        QCOMPARE(prompter->texts(), QStringList{"没有指定部门，不能添加职员！"});
        QVERIFY(!w.staff()->hasPendingUpdates());
    }

    void photoMenu()
    {
        initWindow();
        ScopedScriptedPrompter prompter;
        {
            StaffWindow w(&db->conn());
            w.show();
            w.tree()->selectKey("0001");
            QCOMPARE(w.photo()->menu()->actions().size(), 3);
            // A GIF changes nothing and says nothing.
            prompter->files.push_back(writeFile("p.gif", encoded("GIF")));
            w.loadPhotoFromFile();
            QVERIFY(!w.staff()->hasPendingUpdates());
            QVERIFY(prompter->shown.size() == 1 && prompter->shown[0].kind == "open");
            QVERIFY(prompter->shown[0].filter.contains("*.bmp") && prompter->shown[0].filter.contains("*.wmf"));
            // A JPG stores byte 2 and the JPEG bytes.
            const QByteArray jpeg = encoded("JPEG");
            prompter->files.push_back(writeFile("p.JPG", jpeg));
            w.loadPhotoFromFile();
            QVERIFY(w.photo()->hasPicture());
            QVERIFY(!w.photo()->pixmap().isNull());
            click(w.saveButton());
            QCOMPARE(dbValue("select Photo from Staffer where Code='1'").toByteArray(), QByteArray(1, '\2') + jpeg);
        }
        {
            // Reopened, the picture shows again and saves in its own format only.
            StaffWindow w(&db->conn());
            w.show();
            w.tree()->selectKey("0001");
            QCOMPARE(w.photo()->shownFormat(), Photo::Jpeg);
            prompter->clear();
            prompter->files.push_back(tmp.filePath("out"));
            w.savePhotoToFile();
            QCOMPARE(prompter->shown.back().kind, QString("save"));
            QCOMPARE(prompter->shown.back().filter, QString("JPEG 图像 (*.jpg *.jpeg *.jpe)"));
            QFile f(tmp.filePath("out"));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), encoded("JPEG"));
            // Clearing is a pending change: closing asks.
            w.clearPhoto();
            QVERIFY(!w.photo()->hasPicture());
            prompter->answers.push_back(Prompter::No);
            QVERIFY(w.close());
            QCOMPARE(prompter->lastText(), QString("数据已经修改，需要保存吗？"));
        }
        QVERIFY(!dbValue("select Photo from Staffer where Code='1'").isNull());
    }

    void unreadablePhotosShowAnEmptyFrame_data()
    {
        QTest::addColumn<QByteArray>("photo");
        QTest::newRow("first byte 9") << QByteArray("\x09garbage");
        QTest::newRow("bitmap byte, broken data") << QByteArray("\x01garbage");
        QTest::newRow("metafile") << QByteArray("\x04\x01\x00\x00\x00", 5);
    }
    void unreadablePhotosShowAnEmptyFrame()
    {
        QFETCH(QByteArray, photo);
        initWindow();
        addStaff("9", "赵六", "0002", photo);
        StaffWindow w(&db->conn());
        w.show();
        w.tree()->selectKey("0002");
        QVERIFY(w.staff()->locate("Code", "9"));
        if (photo.at(0) == '\x04') {
            // Kept byte-exact and shown as a placeholder.
            QVERIFY(w.photo()->hasPicture());
            QCOMPARE(w.photo()->shown().saveToPhotoStream(), photo);
        } else {
            QVERIFY(!w.photo()->hasPicture());
        }
        QVERIFY(!w.staff()->hasPendingUpdates());
    }

    void gridSortsByTitle()
    {
        initWindow();
        StaffWindow w(&db->conn());
        w.show();
        w.grid()->clickTitle(1);
        QCOMPARE(w.grid()->marker(1), SortMarker::Down);
        w.grid()->clickTitle(1);
        QCOMPARE(w.grid()->marker(1), SortMarker::Up);
        QCOMPARE(w.staff()->sort(), QString("Name ASC"));
    }
};

QTEST_MAIN(TestStaff)
#include "tst_reference_staff.moc"
