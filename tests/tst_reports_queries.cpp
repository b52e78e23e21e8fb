#include "data/dataset.h"
#include "reports/reportqueries.h"
#include "support/testdb.h"

#include <QtTest>

// The category summary and the detail lists over small ledgers, on both engines.
class TestReportQueries : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDb> db;
    Connection &c() { return db->conn(); }

    void addType(const QString &id, const QString &code, const QString &name)
    {
        c().exec(QStringLiteral("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES (?,?,?,?)"),
                 QVariantList{id, code, name, id.size() > 2 ? id.left(2) : QStringLiteral("0")});
    }

    struct Item {
        QString code;
        QString type;
        QVariant buy;
        QVariant price;
        QVariant discard = {};
        int state = 1;
        QString dept = {};
    };

    void add(const Item &i)
    {
        c().exec(QStringLiteral("INSERT INTO Asset (Code, Name, Type, BuyDate, Price, DiscardDate, State, Department) VALUES (?,?,?,?,?,?,?,?)"),
                 QVariantList{i.code, QStringLiteral("物品") + i.code, i.type, i.buy, i.price, i.discard, i.state,
                              i.dept.isEmpty() ? QVariant() : QVariant(i.dept)});
    }

    QStringList codes(const ReportQuery &q, const QString &column = QStringLiteral("Code"))
    {
        auto ds = ReportQueries::open(c(), q);
        QStringList out;
        for (int r = 0; r < ds->recordCount(); ++r)
            out << ds->valueAt(r, ds->fieldIndex(column)).toString();
        return out;
    }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
    }
    void cleanup() { db.reset(); }

    void previousMonthDefaults()
    {
        const ReportPeriod p = previousCalendarMonth(QDate(2024, 3, 15));
        QCOMPARE(p.from, QDate(2024, 2, 1));
        QCOMPARE(p.to, QDate(2024, 2, 29));
        const ReportQuery q = ReportQueries::categorySummary(c().dialect(), p.from, p.to, QDate(2024, 3, 15));
        QCOMPARE(q.params.value("minDate").toDate(), QDate(2024, 2, 1));
        QCOMPARE(q.params.value("maxDate").toDate(), QDate(2024, 3, 1));
        QCOMPARE(previousCalendarMonth(QDate(2024, 1, 31)).from, QDate(2023, 12, 1));
        QCOMPARE(reportHeadingPeriod(p.from, p.to), QStringLiteral("2024年02月01日 至 2024年02月29日"));
    }

    void categorySummaryFigures()
    {
        addType("01", "01", "办公设备");
        addType("02", "02", "新购分类");
        addType("03", "03", "销完分类");
        addType("04", "04", "上级分类");
        addType("0401", "0401", "下级分类");
        // held throughout; State 4 without a write-off date still counts as held
        add({"A1", "01", QDate(2024, 1, 1), 100.123, {}, 4});
        add({"A2", "01", QDate(2024, 2, 29), 10.0});                 // bought on the to date
        add({"A3", "01", QDate(2024, 3, 1), 1000.0});                // the day after: nowhere
        add({"A4", "01", QVariant(), QVariant()});                   // held since 1980, no price
        add({"A5", "01", QDate(2023, 6, 1), 5.004, QDate(2024, 2, 10), 4});
        add({"A6", "01", QDate(2023, 1, 1), 1.0, QDate(2024, 3, 1), 4}); // written off the day after
        add({"B1", "02", QDate(2024, 2, 1), 7.0});                   // bought inside: no opening
        add({"C1", "03", QDate(2020, 2, 1), 7.0, QDate(2024, 2, 1), 4}); // written off on the from date
        add({"D1", "0401", QDate(2020, 1, 1), 3.0});
        add({"X1", "99", QDate(2020, 1, 1), 3.0});                   // no such category

        auto ds = ReportQueries::open(c(), ReportQueries::categorySummary(c().dialect(), QDate(2024, 2, 1), QDate(2024, 2, 29), QDate(2024, 3, 15)));
        QCOMPARE(ds->recordCount(), 2);
        ds->first();
        QCOMPARE(ds->asString("Code"), QStringLiteral("01"));
        QCOMPARE(ds->asString("name"), QStringLiteral("办公设备"));
        QCOMPARE(ds->asInt("qcsl"), 4);
        QCOMPARE(ds->asDouble("qcjz"), 106.13);
        QCOMPARE(ds->asInt("zjsl"), 1);
        QCOMPARE(ds->asDouble("zjjz"), 10.0);
        QCOMPARE(ds->asInt("xzsl"), 1);
        QCOMPARE(ds->asDouble("xzjz"), 5.0);
        QCOMPARE(ds->asInt("qmsl"), 4);
        QCOMPARE(ds->asDouble("qmjz"), 111.12);
        ds->next();
        QCOMPARE(ds->asString("Code"), QStringLiteral("0401"));
        QCOMPARE(ds->asInt("qcsl"), 1);
        QVERIFY(ds->isNull("zjsl"));
        QVERIFY(ds->isNull("zjjz"));
        QVERIFY(ds->isNull("xzsl"));
        QCOMPARE(ds->asDouble("qmjz"), 3.0);
    }

    // An empty write-off date counts as thirty days after today: a period
    // holding that day shows the item written off.
    void categorySummaryEmptyWriteOffDate_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("closing");
        QTest::newRow("today+30 inside") << QDate(2024, 1, 20) << 1 << 1;   // 2024-02-19
        QTest::newRow("today+30 on the to date") << QDate(2024, 1, 30) << 1 << 1; // 2024-02-29
        QTest::newRow("today+30 after") << QDate(2024, 1, 31) << 0 << 2;    // 2024-03-01
    }
    void categorySummaryEmptyWriteOffDate()
    {
        QFETCH(QDate, today);
        QFETCH(int, written);
        QFETCH(int, closing);
        addType("01", "01", "办公设备");
        add({"A1", "01", QDate(2020, 1, 1), 1.0});
        add({"A2", "01", QDate(2020, 1, 1), 1.0, QDate(2025, 1, 1), 4});
        auto ds = ReportQueries::open(c(), ReportQueries::categorySummary(c().dialect(), QDate(2024, 2, 1), QDate(2024, 2, 29), today));
        QCOMPARE(ds->recordCount(), 1);
        QCOMPARE(ds->asInt("qcsl"), 2);
        QCOMPARE(ds->asInt("xzsl"), written);
        QCOMPARE(ds->asInt("qmsl"), closing);
    }

    void heldAtADate_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("2024-05-10") << QDate(2024, 5, 10) << QStringList{"A0", "A1", "A3", "A4", "B1"};
        QTest::newRow("2024-05-11") << QDate(2024, 5, 11) << QStringList{"A0", "A1", "A2", "A4", "B1"};
        QTest::newRow("1980-01-01") << QDate(1980, 1, 1) << QStringList{};
        QTest::newRow("1980-01-02") << QDate(1980, 1, 2) << QStringList{"A0"};
    }
    void heldAtADate()
    {
        QFETCH(QDate, date);
        QFETCH(QStringList, listed);
        addType("01", "01", "甲");
        addType("02", "02", "乙");
        add({"B1", "02", QDate(2024, 1, 1), 1.0, {}, 1, "财务部"});
        add({"A4", "01", QDate(2024, 1, 1), 1.0, {}, 4});                    // State 4, no write-off date
        add({"A3", "01", QDate(2024, 1, 1), 1.0, QDate(2024, 5, 10), 4});    // written off on the 10th
        add({"A2", "01", QDate(2024, 5, 10), 1.0});                          // bought on the 10th
        add({"A1", "01", QDate(2024, 5, 9), 1.0, {}, 1, "财务部"});
        add({"A0", "01", QVariant(), 1.0});                                  // no purchase date
        add({"Z1", "99", QDate(2024, 1, 1), 1.0});                           // no such category
        QCOMPARE(codes(ReportQueries::categoryList(c().dialect(), date, QDate(2024, 6, 1))), listed);
        // the department list holds the same items, no department first
        const QStringList byDept = codes(ReportQueries::departmentList(c().dialect(), date, QDate(2024, 6, 1)));
        QCOMPARE(QSet<QString>(byDept.begin(), byDept.end()), QSet<QString>(listed.begin(), listed.end()));
        for (int i = 1; i < byDept.size(); ++i)
            QVERIFY2(!(byDept[i] == "A1" || byDept[i] == "B1") || byDept.indexOf("A0") < i, qPrintable(byDept.join(',')));
    }

    void departmentGroups()
    {
        addType("01", "01", "甲");
        addType("02", "02", "乙");
        add({"A2", "01", QDate(2024, 1, 1), 1.0, {}, 1, "部门B"});
        add({"A1", "01", QDate(2024, 1, 1), 1.0, {}, 1, "部门A"});
        add({"B1", "02", QDate(2024, 1, 1), 1.0, {}, 1, "部门A"});
        add({"A3", "01", QDate(2024, 1, 1), 1.0});
        c().exec("UPDATE Asset SET Department = '' WHERE Code = 'A3'");
        add({"A4", "02", QDate(2024, 1, 1), 1.0});
        auto ds = ReportQueries::open(c(), ReportQueries::departmentList(c().dialect(), QDate(2024, 2, 1), QDate(2024, 2, 1)));
        QStringList seen;
        for (int r = 0; r < ds->recordCount(); ++r)
            seen << ds->valueAt(r, ds->fieldIndex("Department")).toString() + "/" + ds->valueAt(r, ds->fieldIndex("TypeCode")).toString() + "/"
                    + ds->valueAt(r, ds->fieldIndex("Code")).toString();
        QCOMPARE(seen, (QStringList{"/01/A3", "/02/A4", "部门A/01/A1", "部门A/02/B1", "部门B/01/A2"}));
    }

    void additionsAndWriteOffs()
    {
        addType("01", "01", "甲");
        add({"A1", "01", QDate(2024, 2, 1), 1.0});
        add({"A2", "01", QDate(2024, 2, 29), 1.0});
        add({"A3", "01", QDate(2024, 3, 1), 1.0});
        add({"A4", "01", QDate(2024, 1, 31), 1.0});
        add({"A5", "01", QDate(2024, 2, 10), 1.0, QDate(2024, 3, 5), 4});    // written off since
        add({"A6", "01", QVariant(), 1.0});
        add({"W1", "01", QDate(2020, 1, 1), 1.0, QDate(2024, 2, 1), 4});
        add({"W2", "01", QDate(2020, 1, 1), 1.0, QDate(2024, 2, 29), 5});
        add({"W3", "01", QDate(2020, 1, 1), 1.0, QDate(2024, 2, 15), 3});    // date but not written off
        add({"W4", "01", QDate(2020, 1, 1), 1.0, QVariant(), 4});            // written off, no date
        const QDate today(2024, 3, 15);
        QCOMPARE(codes(ReportQueries::additionsList(c().dialect(), QDate(2024, 2, 1), QDate(2024, 2, 29))), (QStringList{"A1", "A2"}));
        QCOMPARE(codes(ReportQueries::additionsList(c().dialect(), QDate(1980, 1, 1), QDate(1980, 1, 1))), (QStringList{"A6"}));
        QCOMPARE(codes(ReportQueries::writeoffsList(c().dialect(), QDate(2024, 2, 1), QDate(2024, 2, 29), today)), (QStringList{"W1", "W2"}));
        // the empty date stands for thirty years after today
        QCOMPARE(codes(ReportQueries::writeoffsList(c().dialect(), QDate(2054, 3, 15), QDate(2054, 3, 15), today)), (QStringList{"W4"}));
        QCOMPARE(codes(ReportQueries::writeoffsList(c().dialect(), QDate(2054, 3, 16), QDate(2060, 1, 1), today)), QStringList{});
        auto ds = ReportQueries::open(c(), ReportQueries::writeoffsList(c().dialect(), QDate(2024, 2, 1), QDate(2024, 2, 1), today));
        QStringList fields = ds->fieldNames().mid(0, 9);
        for (QString &f : fields)
            f = f.toLower(); // PostgreSQL names the columns in lower case
        QCOMPARE(fields, (QStringList{"typecode", "typename", "code", "name", "model", "makeof", "buydate", "discarddate", "price"}));
        QCOMPARE(ds->asDate("DiscardDate"), QDate(2024, 2, 1));
    }

    void matured_data()
    {
        QTest::addColumn<QVariant>("buy");
        QTest::addColumn<QVariant>("price");
        QTest::addColumn<QVariant>("spare");
        QTest::addColumn<QVariant>("life");
        QTest::addColumn<QVariant>("method");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<double>("present");
        QTest::addColumn<QString>("methodName");
        const QVariant none;
        QTest::newRow("defaults, 120 months") << QVariant(QDate(2014, 1, 15)) << QVariant(800.5) << none << none << none << QDate(2024, 1, 1) << true << 800.5 << "不提折旧";
        QTest::newRow("defaults, 119 months") << QVariant(QDate(2014, 1, 15)) << QVariant(800.5) << none << none << none << QDate(2023, 12, 31) << false << 0.0 << "";
        QTest::newRow("no BuyDate, 1990") << none << QVariant(10.0) << none << none << none << QDate(1990, 1, 1) << true << 10.0 << "不提折旧";
        QTest::newRow("no BuyDate, 1989") << none << QVariant(10.0) << none << none << none << QDate(1989, 12, 31) << false << 0.0 << "";
        QTest::newRow("no price") << none << none << QVariant(5.0) << none << QVariant(1) << QDate(2000, 1, 1) << true << 0.0 << "平均年限法";
        QTest::newRow("straight, 60 months") << QVariant(QDate(2019, 1, 31)) << QVariant(1000.0) << QVariant(5.0) << QVariant(60) << QVariant(1) << QDate(2024, 1, 1) << true << 50.0 << "平均年限法";
        QTest::newRow("straight, 70 months") << QVariant(QDate(2019, 1, 31)) << QVariant(1000.0) << QVariant(5.0) << QVariant(60) << QVariant(1) << QDate(2024, 11, 1) << true << 50.0 << "平均年限法";
        QTest::newRow("straight, 59 months") << QVariant(QDate(2019, 1, 1)) << QVariant(1000.0) << QVariant(5.0) << QVariant(60) << QVariant(1) << QDate(2023, 12, 31) << false << 0.0 << "";
        // a salvage rate above 100 % keeps V above the floor and shows the formulas themselves
        QTest::newRow("straight, V above floor") << QVariant(QDate(2023, 1, 1)) << QVariant(1200.0) << QVariant(150.0) << QVariant(12) << QVariant(1) << QDate(2024, 2, 1) << true << 1850.0 << "平均年限法";
        QTest::newRow("digits, divisor N(N-1)/2") << QVariant(QDate(2023, 1, 1)) << QVariant(1000.0) << QVariant(150.0) << QVariant(12) << QVariant(2) << QDate(2024, 1, 1) << true << 1590.91 << "年数总和法";
        QTest::newRow("digits, floored") << QVariant(QDate(2023, 1, 1)) << QVariant(1200.0) << QVariant(10.0) << QVariant(12) << QVariant(2) << QDate(2024, 1, 1) << true << 120.0 << "年数总和法";
        QTest::newRow("salvage rounded") << QVariant(QDate(2000, 1, 1)) << QVariant(333.33) << QVariant(3.0) << QVariant(12) << QVariant(1) << QDate(2024, 1, 1) << true << 10.0 << "平均年限法";
        QTest::newRow("other method") << QVariant(QDate(2000, 1, 1)) << QVariant(1000.0) << QVariant(5.0) << QVariant(12) << QVariant(7) << QDate(2024, 1, 1) << true << 50.0 << "不提折旧";
        QTest::newRow("other method, no salvage") << QVariant(QDate(2000, 1, 1)) << QVariant(1000.0) << none << QVariant(12) << QVariant(7) << QDate(2024, 1, 1) << true << 0.0 << "不提折旧";
        QTest::newRow("method 0 stated") << QVariant(QDate(2000, 1, 1)) << QVariant(99.999) << QVariant(5.0) << QVariant(12) << QVariant(0) << QDate(2024, 1, 1) << true << 100.0 << "不提折旧";
        // lives that leave nothing to divide by stand at the salvage value
        QTest::newRow("digits, life 1") << QVariant(QDate(2023, 1, 1)) << QVariant(1000.0) << QVariant(5.0) << QVariant(1) << QVariant(2) << QDate(2024, 1, 1) << true << 50.0 << "年数总和法";
        QTest::newRow("straight, life 0") << QVariant(QDate(2023, 1, 1)) << QVariant(1000.0) << QVariant(5.0) << QVariant(0) << QVariant(1) << QDate(2024, 1, 1) << true << 50.0 << "平均年限法";
    }
    void matured()
    {
        QFETCH(QVariant, buy);
        QFETCH(QVariant, price);
        QFETCH(QVariant, spare);
        QFETCH(QVariant, life);
        QFETCH(QVariant, method);
        QFETCH(QDate, date);
        QFETCH(bool, listed);
        QFETCH(double, present);
        QFETCH(QString, methodName);
        addType("01", "01", "甲");
        add({"M1", "01", buy, price});
        c().exec("UPDATE Asset SET spare = ?, NumberofYear = ?, DepreType = ?", QVariantList{spare, life, method});
        // an item with a life of one month in the same list does not upset the others
        add({"M0", "01", QDate(2000, 1, 1), 1.0});
        c().exec("UPDATE Asset SET NumberofYear = 1, DepreType = 2 WHERE Code = 'M0'");
        auto ds = ReportQueries::open(c(), ReportQueries::maturedList(c().dialect(), date));
        QVERIFY(ds->locate("Code", "M0") == (date >= QDate(2000, 2, 1)));
        QCOMPARE(ds->locate("Code", "M1"), listed);
        if (!listed)
            return;
        QCOMPARE(ds->asDouble("zcxz"), present);
        QCOMPARE(ds->asString("zjfs"), methodName);
        QCOMPARE(ds->isNull("spare"), spare.isNull());
        QCOMPARE(ds->isNull("NumberofYear"), life.isNull());
        QCOMPARE(ds->isNull("BuyDate"), buy.isNull());
    }
};

QTEST_MAIN(TestReportQueries)
#include "tst_reports_queries.moc"
