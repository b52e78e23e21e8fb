#include "common/helpers.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/save.h"
#include "support/testdb.h"

#include <QTest>

Q_DECLARE_METATYPE(Engine)

class SharedHelpersTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestDb> db;

    // A category tree dataset holding the given ids (parent = id less its last two digits).
    std::unique_ptr<Dataset> tree(const QStringList &ids)
    {
        for (const QString &id : ids)
            db->conn().exec(QStringLiteral("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES (?,?,?,?)"),
                            QVariantList{id, id.mid(2), id, id.size() > 2 ? QVariant(id.left(id.size() - 2)) : QVariant()});
        auto ds = std::make_unique<Dataset>(&db->conn());
        ds->setTable(QStringLiteral("AssetType"));
        ds->open();
        return ds;
    }
    std::unique_ptr<Dataset> bills(const QStringList &codes)
    {
        for (const QString &c : codes)
            db->conn().exec(QStringLiteral("INSERT INTO Asset_Add (Code, State) VALUES (?, 0)"), QVariantList{c});
        auto ds = std::make_unique<Dataset>(&db->conn());
        ds->setTable(QStringLiteral("Asset_Add"));
        ds->open();
        return ds;
    }
    static void appendChild(Dataset &ds, const QString &id)
    {
        ds.append();
        ds.setValue(QStringLiteral("Id"), id);
        ds.setValue(QStringLiteral("Parent_Id"), id.left(id.size() - 2));
        ds.post();
    }

private slots:
    void textRoutines()
    {
        QCOMPARE(PadString(QStringLiteral("7"), 3, QLatin1Char('0'), true), QStringLiteral("007"));
        QCOMPARE(PadString(QStringLiteral("7"), 3, QLatin1Char('x'), false), QStringLiteral("7xx"));
        QCOMPARE(PadString(QStringLiteral("12345"), 3, QLatin1Char('0'), true), QStringLiteral("12345")); // never cut
        QCOMPARE(PadNumber(7, 2), QStringLiteral("07"));
        QCOMPARE(PadNumber(123, 2), QStringLiteral("123"));
        QCOMPARE(PadNumber(5, 4), QStringLiteral("0005"));
        QCOMPARE(RightStr(QStringLiteral("00010A"), 2), QStringLiteral("0A"));
        QCOMPARE(RightStr(QStringLiteral("A"), 2), QStringLiteral("A"));
        QCOMPARE(MidStr(QStringLiteral("2024031505"), 9, 2), QStringLiteral("05"));
        QCOMPARE(MidStr(QStringLiteral("20240315"), 9, 2), QString());
        QCOMPARE(MidStr(QStringLiteral("202403151"), 9, 2), QStringLiteral("1"));
        QCOMPARE(LeftStr(QStringLiteral("2024031505"), 8), QStringLiteral("20240315"));
        QCOMPARE(LeftStr(QStringLiteral("2024"), 8), QStringLiteral("2024"));
    }

    void integersAndHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isInteger");
        QTest::addColumn<qint64>("hex"); // -1: not hexadecimal
        QTest::newRow("digits") << "05" << true << qint64(5);
        QTest::newRow("hex letters") << "0A" << false << qint64(10);
        QTest::newRow("lower hex") << "ff" << false << qint64(255);
        QTest::newRow("empty") << "" << false << qint64(-1);
        QTest::newRow("sign") << "-3" << true << qint64(-1);
        QTest::newRow("leading blank") << " 7" << true << qint64(-1);
        QTest::newRow("too big for 32 bits") << "99999999999" << false << qint64(0x99999999999LL);
        QTest::newRow("letters") << "xy" << false << qint64(-1);
    }
    void integersAndHex()
    {
        QFETCH(QString, text);
        QFETCH(bool, isInteger);
        QFETCH(qint64, hex);
        QCOMPARE(IsInteger(text), isInteger);
        if (hex < 0) {
            try {
                HexToInt(text);
                QFAIL("not hexadecimal: must be refused");
            } catch (const DataError &e) {
                QVERIFY(e.message().contains(text));
            }
        } else {
            QCOMPARE(HexToInt(text), hex);
        }
    }

    // The tree and bill routines run on both engines.
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
    }
    void cleanup() { db.reset(); }

    void nextChildId_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first child of the root") << QStringList{"00"} << "00" << "0001";
        QTest::newRow("09 and 0A give 0B") << QStringList{"00", "0001", "000109", "00010A"} << "0001" << "00010B";
        QTest::newRow("after 09 comes 0A") << QStringList{"00", "0001", "0002", "0009"} << "00" << "000A";
        QTest::newRow("gap is not filled") << QStringList{"00", "0001", "0005"} << "00" << "0006";
        QTest::newRow("grandchildren do not count") << QStringList{"00", "0001", "000107"} << "00" << "0002";
    }
    void nextChildId()
    {
        QFETCH(QStringList, ids);
        QFETCH(QString, parent);
        QFETCH(QString, expected);
        auto ds = tree(ids);
        QCOMPARE(NextChildId(*ds, parent), expected);
    }

    void treeRoutinesSeePendingRowsAndRestoreState()
    {
        auto ds = tree({QStringLiteral("00"), QStringLiteral("0001"), QStringLiteral("0002")});
        QVERIFY(!HasChildren(*ds, QStringLiteral("0001")));
        appendChild(*ds, QStringLiteral("000101")); // not saved
        ds->setFilterText(QStringLiteral("Id like '000%'"));
        ds->setFiltered(true);
        ds->locate(QStringLiteral("Id"), QStringLiteral("0002"));
        const QString filterBefore = ds->filterText();

        QVERIFY(HasChildren(*ds, QStringLiteral("0001")));
        QCOMPARE(NextChildId(*ds, QStringLiteral("0001")), QStringLiteral("000102"));
        QVERIFY(HasChildren(*ds, QStringLiteral("00")));
        QVERIFY(!HasChildren(*ds, QStringLiteral("0002")));

        QCOMPARE(ds->filterText(), filterBefore);
        QVERIFY(ds->isFiltered());
        QCOMPARE(ds->recordCount(), 3);
        QCOMPARE(ds->asString(QStringLiteral("Id")), QStringLiteral("0002"));
    }

    void nextChildIdRefusesPastFF()
    {
        auto ds = tree({QStringLiteral("00"), QStringLiteral("00FE"), QStringLiteral("00FF")});
        ds->locate(QStringLiteral("Id"), QStringLiteral("00FE"));
        try {
            NextChildId(*ds, QStringLiteral("00"));
            QFAIL("a parent with a child ending in FF takes no more children");
        } catch (const DataError &e) {
            QVERIFY(e.message().contains(QStringLiteral("FF")));
        }
        QCOMPARE(ds->asString(QStringLiteral("Id")), QStringLiteral("00FE"));
        QVERIFY(!ds->isFiltered());
        QCOMPARE(ds->recordCount(), 3);
    }

    void nextBillCode_data()
    {
        QTest::addColumn<QStringList>("inList");
        QTest::addColumn<QStringList>("onlyInTable");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty list") << QStringList{} << QStringList{} << "2024031501";
        QTest::newRow("only other days") << QStringList{"2024031407", "2023031509"} << QStringList{} << "2024031501";
        QTest::newRow("01 02 05 give 06") << QStringList{"2024031501", "2024031502", "2024031505"} << QStringList{} << "2024031506";
        QTest::newRow("bad suffix skipped") << QStringList{"2024031502", "20240315xx"} << QStringList{} << "2024031503";
        QTest::newRow("past 99") << QStringList{"2024031599"} << QStringList{} << "20240315100";
        QTest::newRow("past 99 keeps counting") << QStringList{"20240315100", "2024031599"} << QStringList{} << "20240315101";
        // A tallied bill outside the list's date window still holds its code.
        QTest::newRow("code held by the table only") << QStringList{"2024031501"} << QStringList{"2024031504"} << "2024031505";
    }
    void nextBillCode()
    {
        QFETCH(QStringList, inList);
        QFETCH(QStringList, onlyInTable);
        QFETCH(QString, expected);
        auto ds = bills(inList + onlyInTable);
        ds->setFilterText(QStringLiteral("State=0"));
        ds->setFiltered(true);
        for (const QString &c : onlyInTable) { // hide them from the list, as a date window would
            ds->locate(QStringLiteral("Code"), c);
            ds->setValue(QStringLiteral("State"), 1);
        }
        ds->setFilterText(QStringLiteral("State=0"));
        ds->last();
        const int rowBefore = ds->currentRow();
        QCOMPARE(NextBillCode(*ds, QDate(2024, 3, 15)), expected);
        QCOMPARE(ds->currentRow(), rowBefore);
        QCOMPARE(ds->filterText(), QStringLiteral("State=0"));
    }

    void nextBillCodeCountsUnsavedBills()
    {
        auto ds = bills({QStringLiteral("2024031501")});
        ds->append();
        ds->setValue(QStringLiteral("Code"), NextBillCode(*ds, QDate(2024, 3, 15)));
        QCOMPARE(ds->asString(QStringLiteral("Code")), QStringLiteral("2024031502"));
        ds->append();
        QCOMPARE(NextBillCode(*ds, QDate(2024, 3, 15)), QStringLiteral("2024031503"));
    }

    void hasPendingUpdates()
    {
        db->conn().exec(QStringLiteral("INSERT INTO Asset_Move (Id, Code) VALUES (1,'a'), (2,'b')"));
        db->conn().exec(QStringLiteral("INSERT INTO Asset_Move_Item (MoveId, AssetId) VALUES (1,10), (2,20)"));
        Dataset master(&db->conn()), items(&db->conn());
        master.setTable(QStringLiteral("Asset_Move"));
        items.setTable(QStringLiteral("Asset_Move_Item"));
        master.open();
        items.open();
        items.setMasterByKeys(&master, {QStringLiteral("MoveId")}, {QStringLiteral("Id")});
        QVERIFY(!HasPendingUpdates(items));

        // An edit under the second bill counts while the first bill is current.
        master.next();
        items.setValue(QStringLiteral("AssetId"), 21);
        master.first();
        items.setFilterText(QStringLiteral("AssetId=10"));
        items.setFiltered(true);
        QVERIFY(HasPendingUpdates(items));
        QCOMPARE(items.recordCount(), 1);
        QCOMPARE(items.asInt(QStringLiteral("AssetId")), 10);
        QCOMPARE(items.master(), &master);
        saveAll(db->conn(), {&items});
        QVERIFY(!HasPendingUpdates(items));

        // An edit in progress counts too: the routine posts it first, as moving would.
        items.setValue(QStringLiteral("AssetId"), 11);
        QVERIFY(HasPendingUpdates(items));
        QCOMPARE(items.editState(), Dataset::EditState::Browse);
        QCOMPARE(items.rowState(items.currentRow()), Dataset::RowState::Modified);
        items.cancelUpdates();
        QVERIFY(!HasPendingUpdates(items));
        QCOMPARE(items.asInt(QStringLiteral("AssetId")), 10);
        items.remove();
        QVERIFY(HasPendingUpdates(items));
        items.cancelUpdates();
        items.append();
        QVERIFY(HasPendingUpdates(items));
    }

    void sortByTitleClick()
    {
        db->conn().exec(QStringLiteral("INSERT INTO AssetType (Id, Code, Name) VALUES ('0001','01','甲'), ('0002','02','乙')"));
        db->conn().exec(QStringLiteral("INSERT INTO Asset (Code, Type, Makeof) VALUES ('b','0002','x'), ('a','0001','y'), ('c','0001','z')"));
        Dataset types(&db->conn()), ds(&db->conn());
        types.setTable(QStringLiteral("AssetType"));
        types.open();
        ds.setSql(QStringLiteral("SELECT a.*, t.Name AS Memo FROM Asset a LEFT JOIN AssetType t ON t.Id = a.Type"));
        ds.setUpdateTable(QStringLiteral("Asset"));
        ds.addLookupField(QStringLiteral("TypeName"), QStringLiteral("Type"), &types, QStringLiteral("Id"), QStringLiteral("Name"));
        ds.addCalculatedField(QStringLiteral("Calc"), FieldType::Text, [](const Dataset &, int) { return QVariant(QStringLiteral("x")); });
        ds.open();

        SortMarker m = SortGridByColumn(ds, QStringLiteral("Code"), SortMarker::None);
        QCOMPARE(m, SortMarker::Down);
        QCOMPARE(ds.sort(), QStringLiteral("Code DESC"));
        m = SortGridByColumn(ds, QStringLiteral("Code"), m);
        QCOMPARE(m, SortMarker::Up);
        QCOMPARE(ds.sort(), QStringLiteral("Code ASC"));
        m = SortGridByColumn(ds, QStringLiteral("Code"), m);
        QCOMPARE(m, SortMarker::Down);
        QCOMPARE(ds.sort(), QStringLiteral("Code DESC"));

        // A looked-up column sorts by its key in the grid's own dataset.
        QCOMPARE(SortGridByColumn(ds, QStringLiteral("TypeName"), SortMarker::None), SortMarker::Down);
        QCOMPARE(ds.sort(), QStringLiteral("Type DESC"));
        // Memo (long text of the table), calculated and unknown columns do not sort and get no marker.
        QCOMPARE(SortKeyFor(ds, QStringLiteral("Makeof")), QStringLiteral("Makeof")); // Text(255) is not long
        for (const char *col : {"Calc", "Nosuch"}) {
            QCOMPARE(SortGridByColumn(ds, QString::fromLatin1(col), SortMarker::None), SortMarker::None);
            QCOMPARE(ds.sort(), QStringLiteral("Type DESC"));
        }
        Dataset staff(&db->conn());
        staff.setTable(QStringLiteral("Staffer"));
        staff.open();
        for (const char *col : {"Work_Summary", "Photo"})
            QCOMPARE(SortGridByColumn(staff, QString::fromLatin1(col), SortMarker::Up), SortMarker::None);
        QVERIFY(staff.sort().isEmpty());
    }
};

QTEST_MAIN(SharedHelpersTest)
#include "tst_common_sharedhelpers.moc"
