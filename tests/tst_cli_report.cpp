// zentrav-cli report: named reports printed headlessly to PDF or exported
// as CSV, and the messages for bad requests.
#include "cli/commands.h"
#include "cli/report.h"
#include "data/connection.h"
#include "data/settings.h"
#include "reports/engine/reportdata.h"
#include "support/testdb.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <unistd.h>

Q_DECLARE_METATYPE(Engine)

namespace {

struct CliRun {
    int rc = -1;
    QString err;
};

// Runs zentrav-cli in this process with its stderr caught.
CliRun runCaught(const QStringList &args)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stderr.txt"));
    fflush(stderr);
    const int saved = dup(fileno(stderr));
    FILE *f = fopen(QFile::encodeName(path).constData(), "w");
    dup2(fileno(f), fileno(stderr));
    CliRun r;
    r.rc = runCli(args);
    fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    fclose(f);
    QFile in(path);
    if (in.open(QIODevice::ReadOnly))
        r.err = QString::fromUtf8(in.readAll());
    return r;
}

void addItem(Connection &conn, const QString &code, const QString &type, const QString &name)
{
    conn.exec(QStringLiteral("insert into Asset (Code, Name, Type, Unit, Price, Model, Manufacturer, ManufactureDate, BuyDate, "
                             "keeper, Makeof, State) values (:code, :name, :type, '台', 4999.5, 'ThinkCentre M720', '联想（北京）有限公司', "
                             ":md, :bd, '李四', 'i5 / 16GB / 512GB', 1)"),
              {{"code", code},
               {"name", name},
               {"type", type},
               {"md", QDateTime(QDate(2023, 5, 6), QTime(0, 0))},
               {"bd", QDateTime(QDate(2024, 3, 15), QTime(0, 0))}});
}

// A register with the categories 0001 (with 000101 below it) and 0002.
struct Register {
    TestDb db;
    QString path;
    explicit Register(Engine engine = Engine::SQLite) : db(engine)
    {
        path = db.params().sqlitePath;
        db.conn().exec(QStringLiteral("insert into AssetType (Id, Code, Name, Parent_Id) values "
                                      "('00', '00', '全部', null), ('0001', '01', '计算机', '00'), "
                                      "('000101', '0101', '笔记本', '0001'), ('0002', '02', '车辆', '00')"));
        if (engine == Engine::PostgreSQL)
            return;
        Settings s = Settings::forDatabase(path);
        s.setOrganisationName(QStringLiteral("示范大学资产管理处"));
        s.save();
    }
    // How the command line names this register.
    QStringList dbArgs() const
    {
        if (db.params().engine == Engine::SQLite)
            return {QStringLiteral("--db"), path};
        const ConnectionParams &p = db.params();
        return {QStringLiteral("--pg"), QStringLiteral("host=%1 port=%2 dbname=%3 user=%4%5")
                                            .arg(p.host)
                                            .arg(p.port)
                                            .arg(p.database, p.user, p.password.isEmpty() ? QString() : QStringLiteral(" password=") + p.password)};
    }
};

QString tool(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

QString runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList csvLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestCliReport : public QObject {
    Q_OBJECT
private slots:
    void itemCardsOfAThousandItemsToPdf();
    void itemLabelsOfOneBranchToCsv_data() { TestDb::addEngineRows(); }
    void itemLabelsOfOneBranchToCsv();
    void badRequests_data();
    void badRequests();
    void registeredReportsGetTheirDates();
    void theProgramItselfWritesPdf();
};

void TestCliReport::itemCardsOfAThousandItemsToPdf()
{
    const QString pdftotext = tool(QStringLiteral("pdftotext")), pdffonts = tool(QStringLiteral("pdffonts")),
                  pdfinfo = tool(QStringLiteral("pdfinfo"));
    if (pdftotext.isEmpty() || pdffonts.isEmpty() || pdfinfo.isEmpty())
        QSKIP("poppler-utils (pdftotext, pdffonts, pdfinfo) are not installed: scripts/setup installs them");
    Register reg;
    QStringList codes;
    {
        Transaction tx(reg.db.conn());
        for (int i = 1; i <= 1000; ++i) {
            const QString type = i % 3 == 0 ? QStringLiteral("0002") : QStringLiteral("0001");
            codes << type + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
            addItem(reg.db.conn(), codes.last(), type, QStringLiteral("物品%1").arg(i));
        }
        tx.commit();
    }
    const QString out = QDir(reg.db.folder()).filePath(QStringLiteral("cards.pdf"));
    const CliRun r = runCaught({"report", "item-cards", "--db", reg.path, "--pdf", out});
    QVERIFY2(r.rc == 0, qPrintable(r.err));

    // Three cards a page.
    const QString info = runTool(pdfinfo, {out});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+334\\b"))), qPrintable(info));
    // Every item code is in the text, and the footer's organisation name.
    const QString text = runTool(pdftotext, {QStringLiteral("-layout"), out, QStringLiteral("-")});
    QVERIFY(!text.isEmpty());
    for (const QString &c : codes)
        QVERIFY2(text.contains(c), qPrintable(c));
    // The Chinese text reads back as printed (a glyph shared with a CJK
    // radical is not copied out as the radical; digits after letters are kept).
    QCOMPARE(text.count(QStringLiteral("物品卡片")), 1000);
    QCOMPARE(text.count(QStringLiteral("生产厂商")), 1000);
    QCOMPARE(text.count(QStringLiteral("示范大学资产管理处")), 334);
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("第\\s*\\d+\\s*页"))), 334);
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("第\\s*334\\s*页"))));
    QCOMPARE(text.count(QStringLiteral("2024年03月15日")), 1000);
    QCOMPARE(text.count(QStringLiteral("ThinkCentre M720")), 1000);
    // A CJK font is embedded.
    const QStringList fonts = runTool(pdffonts, {out}).split(QLatin1Char('\n'));
    bool cjkEmbedded = false;
    for (const QString &line : fonts)
        if (line.contains(QStringLiteral("CJK")) && line.simplified().split(QLatin1Char(' ')).contains(QStringLiteral("yes")))
            cjkEmbedded = true;
    QVERIFY2(cjkEmbedded, qPrintable(fonts.join(QLatin1Char('\n'))));
}

void TestCliReport::itemLabelsOfOneBranchToCsv()
{
    QFETCH(Engine, engine);
    if (engine == Engine::PostgreSQL && !TestDb::pgAvailable())
        QSKIP("ZENTRAV_TEST_PG is not set: no PostgreSQL server for this run");
    Register reg(engine);
    QTemporaryDir outDir;
    addItem(reg.db.conn(), QStringLiteral("00010001"), QStringLiteral("0001"), QStringLiteral("台式机"));
    addItem(reg.db.conn(), QStringLiteral("0001010001"), QStringLiteral("000101"), QStringLiteral("笔记本, 14\" \"轻薄\""));
    addItem(reg.db.conn(), QStringLiteral("00020001"), QStringLiteral("0002"), QStringLiteral("货车"));
    const QString out = QDir(outDir.path()).filePath(QStringLiteral("labels.csv"));
    const CliRun r = runCaught(QStringList{"report", "item-labels"} + reg.dbArgs() + QStringList{"--category", "0001", "--csv", out});
    QVERIFY2(r.rc == 0, qPrintable(r.err));
    // The branch of 0001: itself and 000101 below it, not 0002; fields with a comma or quote quoted.
    const QStringList expected{
        "物品编号,物品名称,规格型号,生产厂家,出厂日期,保管人员",
        "00010001,台式机,ThinkCentre M720,联想（北京）有限公司,2023/5/6,李四",
        "0001010001,\"笔记本, 14\"\" \"\"轻薄\"\"\",ThinkCentre M720,联想（北京）有限公司,2023/5/6,李四",
    };
    QCOMPARE(csvLines(out), expected);

    // The whole ledger without --category.
    const CliRun all = runCaught(QStringList{"report", "item-cards"} + reg.dbArgs() + QStringList{"--csv", out});
    QCOMPARE(all.rc, 0);
    const QStringList lines = csvLines(out);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith(QStringLiteral("物品编号,物品名称,规格型号,计量单位,物品原值,")));
    QVERIFY(lines[3].startsWith(QStringLiteral("00020001,货车,ThinkCentre M720,台,4999.5,")));
}

void TestCliReport::badRequests_data()
{
    QTest::addColumn<QStringList>("args"); // DB stands for the register, OUT for the output file
    QTest::addColumn<int>("rc");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown report") << QStringList{"report", "no-such", "--db", "DB", "--pdf", "OUT"} << 2 << "没有名为“no-such”的报表";
    QTest::newRow("no database") << QStringList{"report", "item-cards", "--pdf", "OUT"} << 2 << "请用 --db FILE 或 --pg";
    QTest::newRow("no output") << QStringList{"report", "item-cards", "--db", "DB"} << 2 << "请用 --pdf OUT 或 --csv OUT";
    QTest::newRow("value missing") << QStringList{"report", "item-cards", "--db", "DB", "--csv"} << 2 << "参数 --csv 缺少取值";
    QTest::newRow("unknown option") << QStringList{"report", "item-cards", "--db", "DB", "--bogus", "1", "--pdf", "OUT"} << 2
                                    << "报表“item-cards”不认识参数 --bogus";
    QTest::newRow("dates for an undated report") << QStringList{"report", "item-cards", "--db", "DB", "--date", "2024-01-01", "--pdf", "OUT"}
                                                 << 2 << "不按日期查询";
    QTest::newRow("missing database file") << QStringList{"report", "item-cards", "--db", "MISSING", "--pdf", "OUT"} << 1
                                           << "找不到数据库文件";
    QTest::newRow("not our database") << QStringList{"report", "item-cards", "--db", "FOREIGN", "--pdf", "OUT"} << 1
                                      << "该数据库不是 Zentrav 数据库";
    QTest::newRow("unknown category") << QStringList{"report", "item-labels", "--db", "DB", "--category", "09", "--pdf", "OUT"} << 1
                                      << "没有编号为“09”的物品分类";
    QTest::newRow("output folder missing") << QStringList{"report", "item-labels", "--db", "DB", "--csv", "NOFOLDER"} << 1 << "无法写入";
}

void TestCliReport::badRequests()
{
    QFETCH(QStringList, args);
    QFETCH(int, rc);
    QFETCH(QString, message);
    Register reg;
    addItem(reg.db.conn(), QStringLiteral("00010001"), QStringLiteral("0001"), QStringLiteral("台式机"));
    const QDir dir(reg.db.folder());
    const QString out = dir.filePath(QStringLiteral("out.pdf"));
    const QString foreign = dir.filePath(QStringLiteral("other.db"));
    {
        Connection c;
        c.open(ConnectionParams::sqlite(foreign));
        c.exec(QStringLiteral("create table Inventory (x integer)"));
    }
    for (QString &a : args) {
        if (a == QLatin1String("DB"))
            a = reg.path;
        else if (a == QLatin1String("OUT"))
            a = out;
        else if (a == QLatin1String("MISSING"))
            a = dir.filePath(QStringLiteral("missing.db"));
        else if (a == QLatin1String("FOREIGN"))
            a = foreign;
        else if (a == QLatin1String("NOFOLDER"))
            a = dir.filePath(QStringLiteral("no/such/folder/out.csv"));
    }
    const CliRun r = runCaught(args);
    QCOMPARE(r.rc, rc);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    // Nothing written, nothing created.
    QVERIFY(!QFile::exists(out));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing.db"))));
}

void TestCliReport::registeredReportsGetTheirDates()
{
    QList<CliReportRequest> seen;
    CliReportSpec spec;
    spec.summary = QStringLiteral("试验用的期间报表");
    spec.dates = CliReportDates::Period;
    spec.build = [&](const CliReportRequest &req) {
        seen.append(req);
        CliReportOutput out;
        out.templateName = QStringLiteral("item-labels");
        out.rows = std::make_unique<RowsReportData>(QStringList{"code", "price", "day"},
                                                    QList<QVariantList>{{"A1", 1234.5, QDate(2024, 2, 3)}, {"A2", QVariant(), QVariant()}});
        out.columns = {{"CODE", "编号", {}}, {"price", "原值", "#,##0.00"}, {"day", "日期", "YYYY年MM月DD日"}};
        return out;
    };
    registerReport(QStringLiteral("test-period"), spec);
    CliReportSpec single = spec;
    single.dates = CliReportDates::Single;
    registerReport(QStringLiteral("test-single"), single);

    Register reg;
    const QString out = QDir(reg.db.folder()).filePath(QStringLiteral("p.csv"));
    CliRun r = runCaught({"report", "test-period", "--db", reg.path, "--from", "2024-02-01", "--to", "2024/2/29", "--csv", out});
    QVERIFY2(r.rc == 0, qPrintable(r.err));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].from, QDate(2024, 2, 1));
    QCOMPARE(seen[0].to, QDate(2024, 2, 29));
    QCOMPARE(seen[0].organisationName, QStringLiteral("示范大学资产管理处"));
    QCOMPARE(csvLines(out), (QStringList{"编号,原值,日期", "A1,\"1,234.50\",2024年02月03日", "A2,,"}));

    // Without dates: the previous calendar month, as the windows open.
    r = runCaught({"report", "test-period", "--db", reg.path, "--csv", out});
    QCOMPARE(r.rc, 0);
    const QDate first(QDate::currentDate().year(), QDate::currentDate().month(), 1);
    QCOMPARE(seen.last().from, first.addMonths(-1));
    QCOMPARE(seen.last().to, first.addDays(-1));
    r = runCaught({"report", "test-single", "--db", reg.path, "--date", "2024/5/10", "--csv", out});
    QCOMPARE(r.rc, 0);
    QCOMPARE(seen.last().date, QDate(2024, 5, 10));

    const int before = int(seen.size());
    r = runCaught({"report", "test-period", "--db", reg.path, "--date", "2024-01-01", "--csv", out});
    QCOMPARE(r.rc, 2);
    QVERIFY(r.err.contains(QStringLiteral("请用 --from D --to D")));
    r = runCaught({"report", "test-period", "--db", reg.path, "--from", "2024-13-01", "--to", "2024-01-31", "--csv", out});
    QCOMPARE(r.rc, 2);
    QVERIFY(r.err.contains(QStringLiteral("起始日期格式错误：2024-13-01")));
    r = runCaught({"report", "test-single", "--db", reg.path, "--date", "明天", "--csv", out});
    QCOMPARE(r.rc, 2);
    QVERIFY(r.err.contains(QStringLiteral("日期格式错误：明天")));
    QCOMPARE(int(seen.size()), before);

    // The list of reports names them all.
    r = runCaught({"report"});
    QCOMPARE(r.rc, 2);
    for (const char *name : {"item-cards", "item-labels", "test-period"})
        QVERIFY(r.err.contains(QLatin1String(name)));
}

void TestCliReport::theProgramItselfWritesPdf()
{
    // The built program, without a display: it must still find its fonts.
    const QString bin = QDir(qEnvironmentVariable("ZENTRAV_BIN_DIR")).filePath(QStringLiteral("zentrav-cli"));
    if (qEnvironmentVariableIsEmpty("ZENTRAV_BIN_DIR") || !QFile::exists(bin))
        QSKIP("zentrav-cli is not built beside the tests (run through ctest after building zentrav-cli)");
    Register reg;
    addItem(reg.db.conn(), QStringLiteral("00010001"), QStringLiteral("0001"), QStringLiteral("台式机"));
    const QString out = QDir(reg.db.folder()).filePath(QStringLiteral("labels.pdf"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(bin, {"report", "item-labels", "--db", reg.path, "--pdf", out});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(5) == "%PDF-");
}

QTEST_MAIN(TestCliReport)
#include "tst_cli_report.moc"
