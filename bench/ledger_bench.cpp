// Opening the whole ledger: time to first rows and peak memory, beside the
// raw sqlite3 scan of the same table.
//   zentrav-bench-ledger fill FILE N     writes N items into a new register
//   zentrav-bench-ledger open FILE       opens the Asset table as the ledger window does
//   zentrav-bench-ledger raw FILE        steps every row and column with the sqlite3 C API
#include "data/connection.h"
#include "data/dataset.h"
#include "data/schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>

static long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

static int fill(const QString &path, int n)
{
    Connection conn;
    conn.open(ConnectionParams::sqlite(path));
    Schema::ensure(conn);
    sqlite3 *db = conn.sqliteHandle();
    const char *sql = "INSERT INTO Asset (Code, Name, Add_Id, Type, Unit, Price, Model, Manufacturer, ManufactureDate, BuyDate, "
                      "BuildDate, Firm, Transactor, AppType, NumberofYear, Makeof, Place, Department, keeper, User, State, "
                      "TechnicalState, Summary, spare, DepreType, ManufactureCode) "
                      "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    QRandomGenerator rng(42);
    const char *names[] = {"台式计算机", "笔记本电脑", "激光打印机", "办公桌", "文件柜", "空调", "投影仪", "复印机"};
    const char *units[] = {"台", "张", "个", "套"};
    const char *depts[] = {"财务部", "人事部", "信息中心", "行政办公室", "后勤保障部", "市场部"};
    const char *people[] = {"张三", "李四", "王五", "赵六", "钱七", "孙八"};
    for (int i = 0; i < n; ++i) {
        const QByteArray type = QStringLiteral("00%1%2").arg(1 + i % 12, 2, 16, QLatin1Char('0')).arg(1 + i % 7, 2, 16, QLatin1Char('0')).toUpper().toUtf8();
        const QByteArray code = type + QByteArray::number(i % 10000).rightJustified(4, '0');
        const QByteArray date = QStringLiteral("20%1-%2-%3 00:00:00").arg(10 + i % 15, 2, 10, QLatin1Char('0')).arg(1 + i % 12, 2, 10, QLatin1Char('0')).arg(1 + i % 28, 2, 10, QLatin1Char('0')).toUtf8();
        int k = 1;
        auto text = [&](const char *s) { sqlite3_bind_text(st, k++, s, -1, SQLITE_TRANSIENT); };
        auto bytes = [&](const QByteArray &b) { sqlite3_bind_text(st, k++, b.constData(), int(b.size()), SQLITE_TRANSIENT); };
        bytes(code);
        text(names[i % 8]);
        sqlite3_bind_int(st, k++, i / 10);
        bytes(type);
        text(units[i % 4]);
        sqlite3_bind_double(st, k++, 100 + rng.bounded(100000) / 10.0);
        text("ThinkCentre M720");
        text("联想集团");
        bytes(date);
        bytes(date);
        bytes(date);
        text("北京某某科技有限公司");
        text(people[i % 6]);
        text("购入");
        sqlite3_bind_int(st, k++, 60);
        text("i5-8500/8G/256G SSD");
        text("三楼301室");
        text(depts[i % 6]);
        text(people[(i + 1) % 6]);
        text(people[(i + 2) % 6]);
        sqlite3_bind_int(st, k++, i % 5);
        text("良好");
        text("");
        sqlite3_bind_double(st, k++, 5);
        sqlite3_bind_int(st, k++, i % 3);
        bytes(QByteArray("SN") + QByteArray::number(1000000 + i));
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(st);
    std::printf("filled %d items\n", n);
    return 0;
}

static int openLedger(const QString &path)
{
    Connection conn;
    conn.open(ConnectionParams::sqlite(path));
    QElapsedTimer t;
    t.start();
    Dataset ds(&conn);
    ds.setTable(QStringLiteral("Asset"));
    ds.open();
    // First rows as a grid shows them.
    QString shown;
    for (int r = 0; r < std::min(40, ds.recordCount()); ++r)
        for (int f = 0; f < ds.fieldCount(); ++f)
            shown += ds.valueAt(r, f).toString();
    const qint64 ms = t.elapsed();
    std::printf("open rows=%d ms=%lld peak_kb=%ld\n", ds.recordCount(), ms, peakKb());
    return 0;
}

static int raw(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM Asset ORDER BY Id", -1, &st, nullptr);
    long long bytes = 0;
    int rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            sqlite3_column_text(st, c);
            bytes += sqlite3_column_bytes(st, c);
        }
        ++rows;
    }
    sqlite3_finalize(st);
    std::printf("raw rows=%d ms=%lld bytes=%lld peak_kb=%ld\n", rows, t.elapsed(), bytes, peakKb());
    sqlite3_close(db);
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() >= 4 && a[1] == QLatin1String("fill"))
        return fill(a[2], a[3].toInt());
    if (a.size() >= 3 && a[1] == QLatin1String("open"))
        return openLedger(a[2]);
    if (a.size() >= 3 && a[1] == QLatin1String("raw"))
        return raw(a[2]);
    std::fprintf(stderr, "usage: zentrav-bench-ledger fill FILE N | open FILE | raw FILE\n");
    return 2;
}
