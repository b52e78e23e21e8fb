// The figures of the performance budget, each beside the same work done by
// the raw engine. bench/run starts one process per measurement (so the peak
// memory is that measurement's own) and prints the table; every command here
// ends with one line:
//   RESULT ms=<wall> peak_kb=<max RSS> [rows=<n>] [pages=<n>]
//
//   zentrav-bench ledger      (--db F | --pg C) [--shot PREFIX]  the ledger window to its first painted rows
//                                                   (and to all rows; --shot saves both as PNG)
//   zentrav-bench ledger-raw  (--db F | --pg C)   every row and column of Asset read by the engine's C API
//   zentrav-bench tally       (--db F | --pg C) [--units N]  acquisition tally of N units (the bill and
//                                                   its items are removed again afterwards)
//   zentrav-bench tally-raw   (--db F | --pg C) [--units N]  the same rows: SQLite one prepared statement, PostgreSQL one COPY
//   zentrav-bench query NAME  (--db F | --pg C)   a statistical query opened as the window opens it
//   zentrav-bench query-raw NAME (--db F | --pg C) [--unsorted]
//                                               the same statement, sorted by the engine, stepped by its C API
//   zentrav-bench pdf         (--db F | --pg C) --from D --to D   the additions list over a period to PDF
//   zentrav-bench pdf-raw     --rows N --pages P   as many text cells drawn straight on a QPdfWriter
//   zentrav-bench bare-start                       a bare Qt main window shown and closed
//   zentrav-bench pgload FILE CONNINFO             copies a SQLite register into an empty PostgreSQL database
#include "bills/tally.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/schema.h"
#include "reference/assetledgerwindow.h"
#include "reports/engine/reportpainter.h"
#include "reports/engine/reporttemplate.h"
#include "reports/reportqueries.h"
#include "reports/statreports.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QPainter>
#include <QPdfWriter>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/resource.h>

namespace {

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void result(qint64 ms, const QString &extra = {})
{
    std::printf("RESULT ms=%lld peak_kb=%ld%s\n", ms, peakKb(), extra.isEmpty() ? "" : qPrintable(QLatin1Char(' ') + extra));
    std::fflush(stdout);
}

struct Args {
    QString db, pg, name, from, to, shot;
    int units = 10000, rows = 0, pages = 0;
    bool unsorted = false;
};

Args parse(const QStringList &a, int from)
{
    Args r;
    for (int i = from; i < a.size(); ++i) {
        auto next = [&] { return i + 1 < a.size() ? a[++i] : QString(); };
        if (a[i] == QLatin1String("--db")) r.db = next();
        else if (a[i] == QLatin1String("--pg")) r.pg = next();
        else if (a[i] == QLatin1String("--from")) r.from = next();
        else if (a[i] == QLatin1String("--to")) r.to = next();
        else if (a[i] == QLatin1String("--units")) r.units = next().toInt();
        else if (a[i] == QLatin1String("--shot")) r.shot = next();
        else if (a[i] == QLatin1String("--rows")) r.rows = next().toInt();
        else if (a[i] == QLatin1String("--pages")) r.pages = next().toInt();
        else if (a[i] == QLatin1String("--unsorted")) r.unsorted = true;
        else r.name = a[i];
    }
    return r;
}

ConnectionParams paramsOf(const Args &a)
{
    return a.pg.isEmpty() ? ConnectionParams::sqlite(a.db) : ConnectionParams::fromPgString(a.pg);
}

// The dates the statistical figures use: the generated register's "today"
// is 30 June 2026; the summary covers its first half year.
const QDate Today(2026, 6, 30);

ReportQuery queryNamed(const Dialect &d, const QString &name, const Args &a)
{
    const QDate from = a.from.isEmpty() ? QDate(2026, 1, 1) : QDate::fromString(a.from, Qt::ISODate);
    const QDate to = a.to.isEmpty() ? Today : QDate::fromString(a.to, Qt::ISODate);
    if (name == QLatin1String("category-summary")) return ReportQueries::categorySummary(d, from, to, Today);
    if (name == QLatin1String("category-list")) return ReportQueries::categoryList(d, to, Today);
    if (name == QLatin1String("department-list")) return ReportQueries::departmentList(d, to, Today);
    if (name == QLatin1String("matured-list")) return ReportQueries::maturedList(d, to);
    if (name == QLatin1String("additions-list")) return ReportQueries::additionsList(d, from, to);
    if (name == QLatin1String("writeoffs-list")) return ReportQueries::writeoffsList(d, from, to, Today);
    throw DataError(QStringLiteral("unknown query %1").arg(name));
}

// ---- SQLite and libpq, raw ----

// Steps a statement, reading every column in the type the engine holds it in.
qint64 sqliteStepAll(sqlite3 *db, const QByteArray &sql, const QVariantMap &params, const Dialect &d)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
        throw DataError(QString::fromUtf8(sqlite3_errmsg(db)));
    for (int i = 1; i <= sqlite3_bind_parameter_count(st); ++i) {
        const QString name = QString::fromUtf8(sqlite3_bind_parameter_name(st, i)).mid(1);
        QVariant v;
        for (auto it = params.begin(); it != params.end(); ++it)
            if (it.key().compare(name, Qt::CaseInsensitive) == 0)
                v = d.toDb(it.value());
        const QByteArray b = v.toString().toUtf8();
        if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
            sqlite3_bind_int64(st, i, v.toLongLong());
        else if (v.typeId() == QMetaType::Double)
            sqlite3_bind_double(st, i, v.toDouble());
        else
            sqlite3_bind_text(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    qint64 rows = 0, sink = 0;
    const int n = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_INTEGER: sink += sqlite3_column_int64(st, c); break;
            case SQLITE_FLOAT: sink += qint64(sqlite3_column_double(st, c)); break;
            case SQLITE_NULL: break;
            default: sqlite3_column_text(st, c); sink += sqlite3_column_bytes(st, c);
            }
        }
        ++rows;
    }
    sqlite3_finalize(st);
    return rows + (sink == -1 ? 1 : 0);
}

// PostgreSQL: the statement with $n placeholders, rows in single-row mode.
qint64 pgStepAll(pg_conn *pg, const QString &sql, const QVariantMap &params, const Dialect &d)
{
    QString text = sql;
    std::vector<QByteArray> values;
    // ":name" → $k, in order of first use.
    QStringList order;
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\'')) {
            const int end = text.indexOf(QLatin1Char('\''), i + 1);
            out += text.mid(i, end - i + 1);
            i = end;
        } else if (text[i] == QLatin1Char(':') && i + 1 < text.size() && text[i + 1].isLetter() && (i == 0 || text[i - 1] != QLatin1Char(':'))) {
            int j = i + 1;
            while (j < text.size() && (text[j].isLetterOrNumber() || text[j] == QLatin1Char('_')))
                ++j;
            const QString name = text.mid(i + 1, j - i - 1);
            int k = int(order.indexOf(name));
            if (k < 0) {
                order << name;
                k = int(order.size()) - 1;
            }
            out += QStringLiteral("$%1").arg(k + 1);
            i = j - 1;
        } else {
            out += text[i];
        }
    }
    for (const QString &name : order) {
        QVariant v;
        for (auto it = params.begin(); it != params.end(); ++it)
            if (it.key().compare(name, Qt::CaseInsensitive) == 0)
                v = d.toDb(it.value());
        values.push_back(v.toString().toUtf8());
    }
    std::vector<const char *> ptrs;
    for (const QByteArray &v : values)
        ptrs.push_back(v.constData());
    const QByteArray q = out.toUtf8();
    if (!PQsendQueryParams(pg, q.constData(), int(ptrs.size()), nullptr, ptrs.data(), nullptr, nullptr, 0))
        throw DataError(QString::fromUtf8(PQerrorMessage(pg)));
    PQsetSingleRowMode(pg);
    qint64 rows = 0, sink = 0;
    while (PGresult *res = PQgetResult(pg)) {
        if (PQresultStatus(res) == PGRES_FATAL_ERROR)
            throw DataError(QString::fromUtf8(PQresultErrorMessage(res)));
        for (int r = 0; r < PQntuples(res); ++r, ++rows)
            for (int c = 0; c < PQnfields(res); ++c)
                sink += PQgetlength(res, r, c) + (PQgetvalue(res, r, c)[0] == 'x');
        PQclear(res);
    }
    return rows + (sink == -1 ? 1 : 0);
}

// ---- commands ----

int ledger(const Args &a)
{
    Connection conn;
    conn.open(paramsOf(a), Connection::NoFlags);
    QElapsedTimer t;
    t.start();
    AssetLedgerWindow w(&conn, AssetLedgerWindow::Mode::Management);
    w.resize(1200, 800);
    w.show();
    QApplication::processEvents();
    const QImage shot = w.grab().toImage(); // the first rows, painted
    const qint64 first = t.elapsed();
    // Then the rest of the rows, read in the background, until every one is in the grid.
    Dataset *items = nullptr;
    for (Dataset *d : w.findChildren<Dataset *>())
        if (d->updateTable() == QLatin1String("Asset"))
            items = d;
    while (items && items->isLoading())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    for (int i = 0; i < 5; ++i) // the grid lays itself out for a million rows
        QApplication::processEvents();
    const QImage whole = w.grab().toImage();
    const qint64 all = t.elapsed();
    if (!a.shot.isEmpty()) { // to look at: the window at its first rows and with every row in
        shot.save(a.shot + QStringLiteral("-first.png"));
        whole.save(a.shot + QStringLiteral("-all.png"));
    }
    result(first, QStringLiteral("all_ms=%1 rows=%2 w=%3").arg(all).arg(items ? items->recordCount() : -1).arg(shot.width()));
    return 0;
}

// The ledger's dataset alone, phase by phase: read, sort by category.
int ledgerPhases(const Args &a)
{
    Connection conn;
    conn.open(paramsOf(a), Connection::NoFlags);
    QElapsedTimer t;
    t.start();
    Dataset ds(&conn);
    ds.setTable(QStringLiteral("Asset"));
    ds.open();
    const qint64 read = t.restart();
    ds.setSort(QStringLiteral("Type"));
    const qint64 sort = t.restart();
    ds.finishLoading();
    const qint64 rest = t.restart();
    std::printf("first rows=%lld sort=%lld rest=%lld\n", read, sort, rest);
    result(read + sort + rest, QStringLiteral("rows=%1").arg(ds.recordCount()));
    return 0;
}

int ledgerRaw(const Args &a)
{
    Connection conn;
    conn.open(paramsOf(a), Connection::NoFlags);
    QElapsedTimer t;
    t.start();
    const QString sql = QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(conn.quote(QStringLiteral("Asset")), conn.quote(QStringLiteral("Id")));
    const qint64 rows = conn.sqliteHandle() ? sqliteStepAll(conn.sqliteHandle(), sql.toUtf8(), {}, conn.dialect())
                                            : pgStepAll(conn.pgHandle(), sql, {}, conn.dialect());
    result(t.elapsed(), QStringLiteral("rows=%1").arg(rows));
    return 0;
}

qint64 insertBill(Connection &conn, int units)
{
    const QString type = conn.scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 IS NOT NULL AND length(%1) = 6 ORDER BY %1")
                                         .arg(conn.quote(QStringLiteral("Id")), conn.quote(QStringLiteral("AssetType")),
                                              conn.quote(QStringLiteral("Parent_Id"))))
                             .toString();
    conn.exec(QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7, %8, %9) VALUES ('BENCH', 'bench', ?, ?, '台', 100, ?, 0)")
                  .arg(conn.quote(QStringLiteral("Asset_Add")), conn.quote(QStringLiteral("Code")), conn.quote(QStringLiteral("Controller")),
                       conn.quote(QStringLiteral("Type")), conn.quote(QStringLiteral("Name")), conn.quote(QStringLiteral("Unit")),
                       conn.quote(QStringLiteral("Price")), conn.quote(QStringLiteral("AddNumber")), conn.quote(QStringLiteral("State"))),
              QVariantList{type, QStringLiteral("测试物品"), units});
    return conn.scalar(QStringLiteral("SELECT max(%1) FROM %2").arg(conn.quote(QStringLiteral("Id")), conn.quote(QStringLiteral("Asset_Add")))).toLongLong();
}

void removeBill(Connection &conn, qint64 id)
{
    Transaction tx(conn);
    conn.exec(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(conn.quote(QStringLiteral("Asset")), conn.quote(QStringLiteral("Add_Id"))), QVariantList{id});
    conn.exec(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(conn.quote(QStringLiteral("Asset_Add")), conn.quote(QStringLiteral("Id"))), QVariantList{id});
    tx.commit();
}

int tally(const Args &a)
{
    Connection conn;
    conn.open(paramsOf(a), Connection::NoFlags);
    const qint64 id = insertBill(conn, a.units);
    QElapsedTimer t;
    t.start();
    const TallyOutcome o = tallyAcquisition(conn, id, Today);
    const qint64 ms = t.elapsed();
    removeBill(conn, id);
    if (!o.ok) {
        std::fprintf(stderr, "tally refused: %s %s\n", qPrintable(o.message), qPrintable(o.detail));
        return 1;
    }
    result(ms, QStringLiteral("rows=%1").arg(o.ledgerRows));
    return 0;
}

// The rows the tally writes in one transaction, rolled back afterwards:
// through one prepared statement on SQLite, through one COPY on PostgreSQL.
int tallyRaw(const Args &a)
{
    Connection conn;
    conn.open(paramsOf(a), Connection::NoFlags);
    const char *cols = "(Add_Id, Code, Type, Name, Unit, Price, Model, Manufacturer, ManufactureDate, ManufactureCode, BuyDate, Firm, "
                       "Makeof, AppType, Transactor, BuildDate, State)";
    QElapsedTimer t;
    if (sqlite3 *db = conn.sqliteHandle()) {
        t.start();
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt *st = nullptr;
        const QByteArray sql = QByteArray("INSERT INTO Asset ") + cols + " VALUES (1,?,'001101','测试物品','台',100,'','',NULL,'',NULL,'','','','','2026-06-30 00:00:00',0)";
        sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
        for (int i = 0; i < a.units; ++i) {
            const QByteArray code = "BENCH" + QByteArray::number(i).rightJustified(5, '0');
            sqlite3_bind_text(st, 1, code.constData(), int(code.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(st) != SQLITE_DONE)
                throw DataError(QString::fromUtf8(sqlite3_errmsg(db)));
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        const qint64 ms = t.elapsed();
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        result(ms, QStringLiteral("rows=%1").arg(a.units));
        return 0;
    }
    // On the server, as the tally does: the rows through one COPY.
    pg_conn *pg = conn.pgHandle();
    t.start();
    PQclear(PQexec(pg, "BEGIN"));
    PGresult *copy = PQexec(pg, (QByteArray("COPY asset ") + QByteArray(cols).toLower() + " FROM STDIN").constData());
    const bool copying = PQresultStatus(copy) == PGRES_COPY_IN;
    PQclear(copy);
    if (!copying)
        throw DataError(QString::fromUtf8(PQerrorMessage(pg)));
    QByteArray rows;
    for (int i = 0; i < a.units; ++i)
        rows += "1\tBENCH" + QByteArray::number(i).rightJustified(5, '0')
            + "\t001101\t测试物品\t台\t100\t\t\t\\N\t\t\\N\t\t\t\t\t2026-06-30 00:00:00\t0\n";
    PQputCopyData(pg, rows.constData(), int(rows.size()));
    PQputCopyEnd(pg, nullptr);
    while (PGresult *res = PQgetResult(pg)) {
        const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
        const QString failure = QString::fromUtf8(PQresultErrorMessage(res));
        PQclear(res);
        if (!ok)
            throw DataError(failure);
    }
    const qint64 ms = t.elapsed();
    PQclear(PQexec(pg, "ROLLBACK"));
    result(ms, QStringLiteral("rows=%1").arg(a.units));
    return 0;
}

int query(const Args &a)
{
    Connection conn;
    conn.open(paramsOf(a), Connection::NoFlags);
    QElapsedTimer t;
    t.start();
    const auto ds = ReportQueries::open(conn, queryNamed(conn.dialect(), a.name, a));
    result(t.elapsed(), QStringLiteral("rows=%1").arg(ds->recordCount()));
    return 0;
}

int queryRaw(const Args &a)
{
    Connection conn;
    conn.open(paramsOf(a), Connection::NoFlags);
    const ReportQuery q = queryNamed(conn.dialect(), a.name, a);
    QElapsedTimer t;
    t.start();
    // the engine gives the rows in the list's order itself (--unsorted: in
    // whatever order it reads them, the least a list can cost)
    const QString sql = a.unsorted ? q.sql : q.orderedSql(conn.dialect());
    const qint64 rows = conn.sqliteHandle() ? sqliteStepAll(conn.sqliteHandle(), sql.toUtf8(), q.params, conn.dialect())
                                            : pgStepAll(conn.pgHandle(), sql, q.params, conn.dialect());
    result(t.elapsed(), QStringLiteral("rows=%1").arg(rows));
    return 0;
}

int pdf(const Args &a)
{
    Connection conn;
    conn.open(paramsOf(a), Connection::NoFlags);
    QTemporaryDir dir;
    QElapsedTimer t;
    t.start();
    const ReportQuery q = queryNamed(conn.dialect(), QStringLiteral("additions-list"), a);
    OwnedDatasetRows rows(ReportQueries::open(conn, q));
    const ReportTemplate tpl = ReportTemplate::load(StatReports::additionsList().name);
    ReportInput in;
    in.tpl = &tpl;
    in.data = &rows;
    in.variables = StatReports::periodVariables(QStringLiteral("某某单位"), q.params.value(QStringLiteral("from")).toDate(), Today);
    in.today = Today;
    const int pages = writeReportPdf(in, dir.filePath(QStringLiteral("list.pdf")));
    const qint64 ms = t.elapsed();
    result(ms, QStringLiteral("rows=%1 pages=%2 bytes=%3").arg(rows.rowCount()).arg(pages).arg(QFile(dir.filePath(QStringLiteral("list.pdf"))).size()));
    return 0;
}

// As many text cells as the list prints, drawn straight on a PDF writer in
// the same font: what Qt alone costs for the same pages.
int pdfRaw(const Args &a)
{
    QTemporaryDir dir;
    QElapsedTimer t;
    t.start();
    QPdfWriter w(dir.filePath(QStringLiteral("raw.pdf")));
    w.setPageSize(QPageSize(QPageSize::A4));
    w.setResolution(300);
    QPainter p(&w);
    QFont f(QStringLiteral("Noto Serif CJK SC"));
    f.setPointSizeF(9);
    p.setFont(f);
    const int perPage = std::max(1, a.rows / std::max(1, a.pages));
    const QString cells[] = {QStringLiteral("001101"), QStringLiteral("甲型计算机"), QStringLiteral("00110100012"), QStringLiteral("计算机（甲型）"),
                             QStringLiteral("M-512"), QStringLiteral("标准配置"), QStringLiteral("2026/1/15"), QStringLiteral("12,345.67")};
    for (int r = 0; r < a.rows; ++r) {
        if (r && r % perPage == 0)
            w.newPage();
        const int y = 300 + (r % perPage) * 70;
        for (int c = 0; c < 8; ++c) {
            p.drawText(QRect(100 + c * 280, y, 270, 60), Qt::AlignLeft | Qt::AlignVCenter, cells[c] + QString::number(r % 10));
            p.drawLine(100 + c * 280, y + 65, 370 + c * 280, y + 65);
        }
    }
    p.end();
    result(t.elapsed(), QStringLiteral("rows=%1 pages=%2").arg(a.rows).arg(a.pages));
    return 0;
}

int bareStart()
{
    QMainWindow w;
    w.resize(1024, 768);
    w.show();
    QApplication::processEvents();
    result(0);
    return 0;
}

// Copies every table of a generated SQLite register into an empty
// PostgreSQL database with COPY, then moves each identity past its rows.
int pgload(const QString &file, const QString &conninfo)
{
    Connection src, dst;
    src.open(ConnectionParams::sqlite(file), Connection::NoFlags);
    dst.open(ConnectionParams::fromPgString(conninfo));
    Schema::ensure(dst);
    pg_conn *pg = dst.pgHandle();
    sqlite3 *db = src.sqliteHandle();
    PQclear(PQexec(pg, "BEGIN"));
    for (const TableDef &t : Schema::tables()) {
        PQclear(PQexec(pg, QByteArray("DELETE FROM " + t.name.toLower().toUtf8()).constData()));
        QStringList cols;
        for (const ColumnDef &c : t.columns)
            cols << c.name;
        QStringList quoted;
        for (const QString &c : cols)
            quoted << src.quote(c);
        sqlite3_stmt *st = nullptr;
        const QByteArray sel = QStringLiteral("SELECT %1 FROM %2").arg(quoted.join(QLatin1Char(',')), src.quote(t.name)).toUtf8();
        if (sqlite3_prepare_v2(db, sel.constData(), -1, &st, nullptr) != SQLITE_OK)
            throw DataError(QString::fromUtf8(sqlite3_errmsg(db)));
        QStringList pgCols;
        for (const QString &c : cols)
            pgCols << dst.quote(c);
        const QByteArray copy = QStringLiteral("COPY %1 (%2) FROM STDIN").arg(dst.quote(t.name), pgCols.join(QLatin1Char(','))).toUtf8();
        PGresult *r = PQexec(pg, copy.constData());
        if (PQresultStatus(r) != PGRES_COPY_IN)
            throw DataError(QStringLiteral("%1: %2 %3").arg(t.name, QString::fromUtf8(PQresStatus(PQresultStatus(r))),
                                                           QString::fromUtf8(PQerrorMessage(pg))));
        PQclear(r);
        QByteArray buf;
        qint64 rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < int(cols.size()); ++c) {
                if (c)
                    buf += '\t';
                const int type = sqlite3_column_type(st, c);
                if (type == SQLITE_NULL) {
                    buf += "\\N";
                } else if (type == SQLITE_BLOB) {
                    buf += "\\\\x" + QByteArray(static_cast<const char *>(sqlite3_column_blob(st, c)), sqlite3_column_bytes(st, c)).toHex();
                } else {
                    const QByteArray v(reinterpret_cast<const char *>(sqlite3_column_text(st, c)), sqlite3_column_bytes(st, c));
                    for (char ch : v) {
                        if (ch == '\\') buf += "\\\\";
                        else if (ch == '\t') buf += "\\t";
                        else if (ch == '\n') buf += "\\n";
                        else if (ch == '\r') buf += "\\r";
                        else buf += ch;
                    }
                }
            }
            buf += '\n';
            ++rows;
            if (buf.size() > (1 << 20)) {
                PQputCopyData(pg, buf.constData(), int(buf.size()));
                buf.clear();
            }
        }
        sqlite3_finalize(st);
        if (!buf.isEmpty())
            PQputCopyData(pg, buf.constData(), int(buf.size()));
        PQputCopyEnd(pg, nullptr);
        r = PQgetResult(pg);
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            throw DataError(QStringLiteral("%1: %2").arg(t.name, QString::fromUtf8(PQresultErrorMessage(r))));
        PQclear(r);
        while ((r = PQgetResult(pg)))
            PQclear(r);
        for (const ColumnDef &c : t.columns)
            if (c.type == ColumnType::AutoNumber) {
                const QByteArray fix = QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), COALESCE((SELECT max(%3) FROM %4), 0) + 1, false)")
                                           .arg(t.name.toLower(), c.name.toLower(), dst.quote(c.name), dst.quote(t.name))
                                           .toUtf8();
                PGresult *s = PQexec(pg, fix.constData());
                if (PQresultStatus(s) != PGRES_TUPLES_OK)
                    throw DataError(QString::fromUtf8(PQresultErrorMessage(s)));
                PQclear(s);
            }
        std::printf("%s: %lld rows\n", qPrintable(t.name), rows);
    }
    PQclear(PQexec(pg, "COMMIT"));
    PQclear(PQexec(pg, "ANALYZE"));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    const QString cmd = a.value(1);
    try {
        if (cmd == QLatin1String("pgload") && a.size() == 4) return pgload(a[2], a[3]);
        if (cmd == QLatin1String("bare-start")) return bareStart();
        const Args args = parse(a, 2);
        if (cmd == QLatin1String("pdf-raw")) return pdfRaw(args);
        if (args.db.isEmpty() == args.pg.isEmpty()) {
            std::fprintf(stderr, "usage: see the head of bench/zentrav_bench.cpp\n");
            return 2;
        }
        if (cmd == QLatin1String("ledger")) return ledger(args);
        if (cmd == QLatin1String("ledger-raw")) return ledgerRaw(args);
        if (cmd == QLatin1String("ledger-phases")) return ledgerPhases(args);
        if (cmd == QLatin1String("tally")) return tally(args);
        if (cmd == QLatin1String("tally-raw")) return tallyRaw(args);
        if (cmd == QLatin1String("query")) return query(args);
        if (cmd == QLatin1String("query-raw")) return queryRaw(args);
        if (cmd == QLatin1String("pdf")) return pdf(args);
    } catch (const DataError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fprintf(stderr, "usage: see the head of bench/zentrav_bench.cpp\n");
    return 2;
}
