#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "reference/assetpicker.h"
#include "support/testdb.h"

#include <QTest>
#include <QTimer>
#include <QToolButton>

class TestAssetPicker : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDb> db;

    void addType(const QString &id, const QString &code, const QString &name, const QVariant &parent)
    {
        db->conn().exec("insert into AssetType (Id, Code, Name, Parent_Id) values (?,?,?,?)", QVariantList{id, code, name, parent});
    }
    qint64 addItem(const QString &code, const QString &type, int state)
    {
        db->conn().exec("insert into Asset (Code, Name, Type, State) values (?,?,?,?)", QVariantList{code, "物品" + code, type, state});
        return db->conn().scalar("select Id from Asset where Code=?", QVariantList{code}).toLongLong();
    }
    void fixture()
    {
        addType("00", "00", "全部", QVariant());
        addType("0001", "01", "电脑", "00");
        addType("000101", "0101", "台式机", "0001");
        addType("0002", "02", "家具", "00");
        addItem("S0", "000101", 0);
        addItem("S1", "0001", 1);
        addItem("S2", "000101", 2);
        addItem("S3", "000101", 3);
        addItem("S4", "0002", 4);
        addItem("F1", "0002", 1);
    }
    static QStringList codes(Dataset *ds)
    {
        QStringList out;
        for (int r = 0; r < ds->recordCount(); ++r)
            out << ds->valueAt(r, ds->fieldIndex("Code")).toString();
        out.sort();
        return out;
    }
    // Runs `during` once the picker is up, then clicks a button of it.
    static void whenShown(std::function<void(AssetPickerDialog *)> during, bool confirm)
    {
        QTimer::singleShot(0, [during, confirm] {
            auto *dlg = qobject_cast<AssetPickerDialog *>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            if (during)
                during(dlg);
            QTest::mouseClick(confirm ? dlg->okButton() : dlg->cancelButton(), Qt::LeftButton);
        });
    }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG is not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
    }
    void cleanup()
    {
        AssetPickerDialog::releaseShared();
        db.reset();
    }

    void offersOnlyItemsInUseByBranch()
    {
        fixture();
        AssetPickerDialog dlg(&db->conn());
        QCOMPARE(codes(dlg.items()), (QStringList{"F1", "S0", "S1"}));
        dlg.tree()->selectKey("0001");
        QCOMPARE(codes(dlg.items()), (QStringList{"S0", "S1"}));
        dlg.tree()->selectKey("000101");
        QCOMPARE(codes(dlg.items()), (QStringList{"S0"}));
        dlg.tree()->selectKey("00");
        QCOMPARE(codes(dlg.items()), (QStringList{"F1", "S0", "S1"}));
        QCOMPARE(dlg.grid()->frozenColumns(), 2);
        QCOMPARE(dlg.windowTitle(), QString("选择物品"));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
    }

    void confirmHandsBackTheCurrentItem()
    {
        fixture();
        const qint64 f1 = db->conn().scalar("select Id from Asset where Code='F1'").toLongLong();
        whenShown([](AssetPickerDialog *d) {
            d->tree()->selectKey("0002");
            QVERIFY(d->items()->locate("Code", "F1"));
        }, true);
        QCOMPARE(AssetPickerDialog::chooseAsset(&db->conn()), std::optional<qint64>(f1));
        // "返回" hands back nothing.
        whenShown(nullptr, false);
        QCOMPARE(AssetPickerDialog::chooseAsset(&db->conn()), std::nullopt);
        // Escape neither.
        QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
        QCOMPARE(AssetPickerDialog::chooseAsset(&db->conn()), std::nullopt);
    }

    void keepsItsStateAndReReadsItems()
    {
        fixture();
        whenShown([](AssetPickerDialog *d) {
            d->tree()->selectKey("0001");
            d->grid()->clickTitle(0);
            QVERIFY(d->items()->locate("Code", "S1"));
        }, true);
        QVERIFY(AssetPickerDialog::chooseAsset(&db->conn()));
        // Meanwhile S0 goes to repair and a new computer arrives.
        db->conn().exec("update Asset set State=3 where Code='S0'");
        addItem("N1", "000101", 0);
        QStringList seen;
        QString current, sort, category;
        whenShown([&](AssetPickerDialog *d) {
            seen = codes(d->items());
            current = d->items()->asString("Code");
            sort = d->items()->sort();
            category = d->tree()->selectedKey();
        }, false);
        AssetPickerDialog::chooseAsset(&db->conn());
        QCOMPARE(seen, (QStringList{"N1", "S1"}));
        QCOMPARE(current, QString("S1"));
        QCOMPARE(sort, QString("Code DESC"));
        QCOMPARE(category, QString("0001"));
    }

    void confirmWithAnEmptyListHandsBackNothing()
    {
        fixture();
        whenShown([](AssetPickerDialog *d) { d->tree()->selectKey("000101"); }, true);
        db->conn().exec("update Asset set State=3 where Code='S0'");
        QCOMPARE(AssetPickerDialog::chooseAsset(&db->conn()), std::nullopt);
        QCOMPARE(AssetPickerDialog::shared(&db->conn())->pickResult(), 0);
    }

    void labelsAreCutAtFortyBytes()
    {
        addType("00", "00", QString(30, QChar(u'类')), QVariant());
        AssetPickerDialog dlg(&db->conn());
        const QString label = dlg.tree()->model()->index(0, 0).data().toString();
        QCOMPARE(UiLook::gbkLength(label), 40);
        QVERIFY(dlg.tree()->model()->index(0, 0).data(Qt::ToolTipRole).toString().size() > label.size());
    }
};

QTEST_MAIN(TestAssetPicker)
#include "tst_reference_picker.moc"
