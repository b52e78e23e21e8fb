#include "support/testdb.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

// zentrav-cli report NAME for the summary, the detail lists and the loan and
// repair lists: the grid's columns and rows as CSV, the dates as the window takes them.
class TestReportsCli : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDb> db;
    QString bin;

    struct Run {
        int code = -1;
        QString err;
        QStringList csv;
    };

    Run run(QStringList args)
    {
        const QString out = QDir(db->folder()).filePath("out.csv");
        QFile::remove(out);
        args = QStringList{"report"} + args + QStringList{"--db", db->params().sqlitePath, "--csv", out};
        QProcess p;
        p.start(bin, args);
        Run r;
        if (!p.waitForFinished(60000))
            return r;
        r.code = p.exitCode();
        r.err = QString::fromUtf8(p.readAllStandardError());
        QFile f(out);
        if (f.open(QIODevice::ReadOnly)) {
            r.csv = QString::fromUtf8(f.readAll()).split("\r\n");
            if (!r.csv.isEmpty() && r.csv.last().isEmpty())
                r.csv.removeLast();
        }
        return r;
    }

private slots:
    void initTestCase()
    {
        bin = QDir(qEnvironmentVariable("ZENTRAV_BIN_DIR")).filePath("zentrav-cli");
        if (qEnvironmentVariableIsEmpty("ZENTRAV_BIN_DIR") || !QFile::exists(bin))
            QSKIP("zentrav-cli is not built beside the tests (run through ctest after building zentrav-cli)");
    }
    void init()
    {
        db = std::make_unique<TestDb>(Engine::SQLite);
        Connection &c = db->conn();
        c.exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('01','01','办公设备','0')");
        c.exec("INSERT INTO Asset (Code, Name, Type, BuyDate, Price, State, Department, NumberofYear, DepreType, spare) VALUES "
               "('A1','电脑','01',?,1000,1,'财务部',60,1,5), ('A2','桌子','01',?,10.5,1,NULL,NULL,NULL,NULL)",
               QVariantList{QDate(2019, 1, 31), QDate(2024, 2, 29)});
        c.exec("INSERT INTO Asset_Loan (Code, AssetId, State, LoanDate, Loaner) VALUES ('L1', 1, 1, ?, '张三')", QVariantList{QDate(2020, 1, 1)});
        c.exec("INSERT INTO Asset_Service (Code, AssetId, State, ServiceDate, ServiceDept) VALUES ('S1', 1, 3, ?, '维修站')", QVariantList{QDate(2024, 2, 3)});
    }
    void cleanup() { db.reset(); }

    void reportsAsCsv_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("csv");
        QTest::newRow("category-summary") << QStringList{"category-summary", "--from", "2024-02-01", "--to", "2024/2/29"}
                                          << QStringList{"资产分类编号,资产分类名称,期初数量,期初价值,增加数量,增加价值,销账数量,销账价值,期末数量,期末价值",
                                                         "01,办公设备,1,1000,1,10.5,,,2,1010.5"};
        QTest::newRow("category-list") << QStringList{"category-list", "--date", "2024-02-29"}
                                       << QStringList{"分类编号,分类名称,物品编号,物品名称,规格型号,详细配置,启用日期,物品原值", "01,办公设备,A1,电脑,,,2019/1/31,\"1,000.00\""};
        QTest::newRow("department-list") << QStringList{"department-list", "--date", "2024-03-01"}
                                         << QStringList{"所属部门,分类编号,分类名称,物品编号,物品名称,规格型号,详细配置,启用日期,物品原值",
                                                        ",01,办公设备,A2,桌子,,,2024/2/29,10.50", "财务部,01,办公设备,A1,电脑,,,2019/1/31,\"1,000.00\""};
        QTest::newRow("matured-list") << QStringList{"matured-list", "--date", "2024-01-01"}
                                      << QStringList{"分类编号,分类名称,资产编号,资产名称,资产型号,详细配置,启用日期,资产原值,残值率[%],折旧年限[月],折旧方式,资产现值",
                                                     "01,办公设备,A1,电脑,,,2019/1/31,1000,5,60,平均年限法,50"};
        QTest::newRow("additions-list") << QStringList{"additions-list", "--from", "2024-02-01", "--to", "2024-02-29"}
                                        << QStringList{"分类编号,分类名称,物品编号,物品名称,规格型号,详细配置,启用日期,物品原值", "01,办公设备,A2,桌子,,,2024/2/29,10.50"};
        QTest::newRow("writeoffs-list") << QStringList{"writeoffs-list", "--from", "2024-02-01", "--to", "2024-02-29"}
                                        << QStringList{"分类编号,分类名称,物品编号,物品名称,规格型号,详细配置,启用日期,销账日期,物品原值"};
        QTest::newRow("loan-list") << QStringList{"loan-list", "--from", "2024-02-01", "--to", "2024-02-29"}
                                   << QStringList{"借用单号,物品编号,物品名称,规格型号,借用人员,借出人员,借用日期,归还日期,单据状态", "L1,A1,电脑,,张三,,2020/1/1,,借用未归还"};
        QTest::newRow("repair-list") << QStringList{"repair-list", "--from", "2024-02-03", "--to", "2024-02-03"}
                                     << QStringList{"维修单号,物品编号,物品名称,规格型号,维修单位,送出人员,送出日期,取回日期,单据状态", "S1,A1,电脑,,维修站,,2024/2/3,,维修已完成"};
    }
    void reportsAsCsv()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, csv);
        const Run r = run(args);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.csv, csv);
    }

    void datesAsTheWindowTakesThem_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("summary takes a period") << QStringList{"category-summary", "--date", "2024-01-01"} << "--from D --to D";
        QTest::newRow("list takes a date") << QStringList{"matured-list", "--from", "2024-01-01", "--to", "2024-01-02"} << "--date D";
        QTest::newRow("bad to date") << QStringList{"additions-list", "--from", "2024-01-01", "--to", "2024-02-30"} << "终止日期格式错误";
    }
    void datesAsTheWindowTakesThem()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const Run r = run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(error), qPrintable(r.err));
    }
};

QTEST_MAIN(TestReportsCli)
#include "tst_reports_cli.moc"
