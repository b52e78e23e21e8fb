#include "data/dataset.h"
#include "data/columnstore.h"
#include "data/connection.h"
#include "data/errors.h"
#include "data/schema.h"

#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <numeric>
#include <atomic>
#include <libpq-fe.h>
#include <mutex>
#include <thread>
#include <sqlite3.h>

namespace {

// Scans a statement for its ":name" placeholders outside quoted text and
// "::" casts. Returns the names in order of first use; with `numbered` set,
// also gives the statement with each placeholder written $1, $2 … (libpq).
QStringList scanPlaceholders(const QString &sql, QString *numbered = nullptr)
{
    QStringList order;
    const int n = sql.size();
    QChar quote;
    for (int i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        if (quote.isNull() && c == QLatin1Char(':') && i + 1 < n && sql.at(i + 1) == QLatin1Char(':')) {
            if (numbered)
                *numbered += QLatin1String("::");
            ++i;
            continue;
        }
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char(':')) {
            int j = i + 1;
            while (j < n && (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('_')))
                ++j;
            if (j > i + 1) {
                const QString name = sql.mid(i + 1, j - i - 1);
                int idx = -1;
                for (int k = 0; k < order.size() && idx < 0; ++k)
                    if (order[k].compare(name, Qt::CaseInsensitive) == 0)
                        idx = k;
                if (idx < 0) {
                    order << name;
                    idx = int(order.size()) - 1;
                }
                if (numbered)
                    *numbered += QLatin1Char('$') + QString::number(idx + 1);
                i = j - 1;
                continue;
            }
        }
        if (numbered)
            *numbered += c;
    }
    return order;
}

QStringList placeholderNames(const QString &sql) { return scanPlaceholders(sql); }

FieldType typeOfColumn(ColumnType t)
{
    switch (t) {
    case ColumnType::AutoNumber:
    case ColumnType::Long:
    case ColumnType::Integer:
    case ColumnType::Byte: return FieldType::Integer;
    case ColumnType::Double: return FieldType::Double;
    case ColumnType::Date: return FieldType::DateTime;
    case ColumnType::Text:
    case ColumnType::Memo: return FieldType::Text;
    case ColumnType::Picture: return FieldType::Blob;
    }
    return FieldType::Variant;
}

FieldType typeOfDecl(const char *decl)
{
    if (!decl)
        return FieldType::Variant;
    const QByteArray d = QByteArray(decl).toUpper();
    if (d.contains("INT"))
        return FieldType::Integer;
    if (d.contains("CHAR") || d.contains("TEXT") || d.contains("CLOB"))
        return FieldType::Text;
    if (d.contains("REAL") || d.contains("DOUB") || d.contains("FLOA") || d.contains("NUMERIC"))
        return FieldType::Double;
    if (d.contains("DATE") || d.contains("TIME"))
        return FieldType::DateTime;
    if (d.contains("BLOB"))
        return FieldType::Blob;
    return FieldType::Variant;
}

FieldType typeOfMeta(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool: return FieldType::Integer;
    case QMetaType::Double:
    case QMetaType::Float: return FieldType::Double;
    case QMetaType::QDate:
    case QMetaType::QDateTime: return FieldType::DateTime;
    case QMetaType::QString: return FieldType::Text;
    case QMetaType::QByteArray: return FieldType::Blob;
    default: return FieldType::Variant;
    }
}

QString keyText(const QVariant &v)
{
    if (v.typeId() == QMetaType::Double) {
        const double d = v.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 1e15)
            return QString::number(qint64(d));
    }
    return v.toString();
}

int compareVariants(const QVariant &a, const QVariant &b)
{
    const bool an = !a.isValid() || a.isNull(), bn = !b.isValid() || b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    const QPartialOrdering o = QVariant::compare(a, b);
    if (o == QPartialOrdering::Less)
        return -1;
    if (o == QPartialOrdering::Greater)
        return 1;
    if (o == QPartialOrdering::Equivalent)
        return 0;
    return QString::compare(a.toString(), b.toString());
}


// One value as the engine handed it over, before it is stored.
struct RawCell {
    int type = SQLITE_NULL; // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL
    qint64 i = 0;
    double d = 0;
    const char *p = nullptr;
    qint64 len = 0;
};

// Reads a value the way a column of type `want` stores it: a text column
// takes the engine's text of whatever is stored, a number column its number.
RawCell sqliteCell(sqlite3_stmt *stmt, int c, FieldType want)
{
    RawCell cell;
    const int st = sqlite3_column_type(stmt, c);
    if (st == SQLITE_NULL)
        return cell;
    auto asText = [&] {
        cell.type = SQLITE_TEXT;
        cell.p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
        cell.len = sqlite3_column_bytes(stmt, c);
    };
    switch (want) {
    case FieldType::Text: asText(); break;
    case FieldType::Blob:
        cell.type = SQLITE_BLOB;
        cell.p = static_cast<const char *>(sqlite3_column_blob(stmt, c));
        cell.len = sqlite3_column_bytes(stmt, c);
        break;
    case FieldType::Double:
        cell.type = SQLITE_FLOAT;
        cell.d = sqlite3_column_double(stmt, c);
        break;
    case FieldType::DateTime:
        if (st == SQLITE_TEXT)
            asText();
        break; // any other stored form is no date
    case FieldType::Integer:
    case FieldType::Variant:
        if (st == SQLITE_INTEGER) {
            cell.type = st;
            cell.i = sqlite3_column_int64(stmt, c);
        } else if (st == SQLITE_FLOAT) {
            cell.type = st;
            cell.d = sqlite3_column_double(stmt, c);
        } else if (st == SQLITE_BLOB && want == FieldType::Variant) {
            cell.type = st;
            cell.p = static_cast<const char *>(sqlite3_column_blob(stmt, c));
            cell.len = sqlite3_column_bytes(stmt, c);
        } else {
            asText();
        }
        break;
    }
    return cell;
}

// Stores one value read by sqliteCell().
void appendCell(ColumnStore *col, const RawCell &cell)
{
    const int st = cell.type;
    if (st == SQLITE_NULL) {
        col->appendNull();
        return;
    }
    const char *text = cell.p ? cell.p : "";
    switch (col->type()) {
    case FieldType::Integer:
        if (st == SQLITE_INTEGER)
            col->appendInt(cell.i);
        else if (st == SQLITE_FLOAT)
            col->appendInt(qint64(std::llround(cell.d)));
        else {
            bool ok = false;
            const qint64 v = QByteArray(text, qsizetype(cell.len)).trimmed().toLongLong(&ok);
            ok ? col->appendInt(v) : col->appendNull();
        }
        break;
    case FieldType::Double: col->appendDouble(cell.d); break;
    case FieldType::DateTime: {
        QDate date;
        int msecs = 0;
        if (Dialect::parseDateTimeParts(text, int(cell.len), date, msecs))
            col->appendInt(ColumnStore::encode(date, msecs));
        else
            col->appendNull();
        break;
    }
    case FieldType::Text: col->appendText(text, size_t(cell.len)); break;
    case FieldType::Blob: col->appendBlob(QByteArray(text, qsizetype(cell.len))); break;
    case FieldType::Variant:
        switch (st) {
        case SQLITE_INTEGER: col->appendVariant(qlonglong(cell.i)); break;
        case SQLITE_FLOAT: col->appendVariant(cell.d); break;
        case SQLITE_BLOB: col->appendVariant(QByteArray(text, qsizetype(cell.len))); break;
        default: col->appendVariant(QString::fromUtf8(text, qsizetype(cell.len)));
        }
        break;
    }
}

void stepInto(sqlite3_stmt *stmt, const std::vector<ColumnStore *> &cols, int &rows, qint64 limit,
              const std::function<void()> &afterFirst)
{
    const int ncols = int(cols.size());
    int rc = SQLITE_DONE;
    bool first = true;
    while (rows < limit && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (first) {
            first = false;
            if (afterFirst)
                afterFirst();
        }
        for (int c = 0; c < ncols; ++c)
            appendCell(cols[size_t(c)], sqliteCell(stmt, c, cols[size_t(c)]->type()));
        ++rows;
    }
    if (first && afterFirst)
        afterFirst();
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw DataError(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt))));
}


// Stores one value libpq handed over in text form (not null).
void appendPgCell(ColumnStore *col, const char *v, int len)
{
    switch (col->type()) {
    case FieldType::Integer: {
        const QByteArray b(v, len);
        bool ok = false;
        qint64 x = b.toLongLong(&ok);
        if (!ok && (b == "t" || b == "f")) {
            x = b == "t";
            ok = true;
        }
        if (!ok) {
            const double d = b.toDouble(&ok);
            x = qint64(std::llround(d));
        }
        ok ? col->appendInt(x) : col->appendNull();
        break;
    }
    case FieldType::Double: {
        double d = 0;
        if (std::from_chars(v, v + len, d).ec != std::errc())
            d = QByteArray(v, len).toDouble();
        col->appendDouble(d);
        break;
    }
    case FieldType::DateTime: {
        QDate date;
        int msecs = 0;
        Dialect::parseDateTimeParts(v, std::min(len, 23), date, msecs) ? col->appendInt(ColumnStore::encode(date, msecs)) : col->appendNull();
        break;
    }
    case FieldType::Text: col->appendText(v, size_t(len)); break;
    case FieldType::Blob: {
        size_t n = 0;
        unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(v), &n);
        col->appendBlob(QByteArray(reinterpret_cast<const char *>(raw), qsizetype(n)));
        PQfreemem(raw);
        break;
    }
    case FieldType::Variant: {
        // A type the program does not model: kept as text.
        const QString s = QString::fromUtf8(v, len);
        bool ok = false;
        const qint64 i = s.toLongLong(&ok);
        col->appendVariant(ok ? QVariant(qlonglong(i)) : QVariant(s));
        break;
    }
    }
}

// How a column of this PostgreSQL type is kept.
FieldType pgFieldType(Oid type)
{
    switch (type) {
    case 16: case 20: case 21: case 23: return FieldType::Integer;
    case 700: case 701: case 1700: return FieldType::Double;
    case 1082: case 1114: case 1184: return FieldType::DateTime;
    case 25: case 1043: case 1042: case 19: return FieldType::Text;
    case 17: return FieldType::Blob;
    default: return FieldType::Variant;
    }
}

// Reads the rows of a statement without parameters into columns already
// typed, in single-row mode, stopping early when `stop` says so.
void pgRowsInto(pg_conn *pg, const QByteArray &sql, const std::vector<ColumnStore *> &cols, int &rows,
                const std::atomic<bool> *stop = nullptr)
{
    if (!PQsendQuery(pg, sql.constData()))
        throw DataError(QString::fromUtf8(PQerrorMessage(pg)).trimmed());
    PQsetSingleRowMode(pg);
    QString failure;
    while (PGresult *res = PQgetResult(pg)) {
        const ExecStatusType st = PQresultStatus(res);
        if (st == PGRES_SINGLE_TUPLE && failure.isEmpty() && !(stop && *stop)) {
            if (PQnfields(res) != int(cols.size()))
                failure = QStringLiteral("表的结构在读取时改变了，请重新打开窗口。");
            else
                for (int r = 0; r < PQntuples(res); ++r, ++rows)
                    for (int c = 0; c < int(cols.size()); ++c)
                        PQgetisnull(res, r, c) ? cols[size_t(c)]->appendNull()
                                               : appendPgCell(cols[size_t(c)], PQgetvalue(res, r, c), PQgetlength(res, r, c));
        } else if (st != PGRES_SINGLE_TUPLE && st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK && failure.isEmpty()) {
            failure = QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        }
        PQclear(res);
    }
    if (stop && *stop)
        throw DataError(QStringLiteral("读取已取消。"));
    if (!failure.isEmpty())
        throw DataError(failure);
}

// The settings of an open libpq connection as a connection string, so a
// background reader can open one of its own to the same database.
QByteArray pgConninfoOf(pg_conn *pg)
{
    QByteArray out;
    PQconninfoOption *opts = PQconninfo(pg);
    for (PQconninfoOption *o = opts; o && o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        QByteArray v(o->val);
        v.replace("\\", "\\\\").replace("'", "\\'");
        out += QByteArray(o->keyword) + "='" + v + "' ";
    }
    PQconninfoFree(opts);
    return out;
}
} // namespace

// A whole large table is read in the background: the window gets the first
// rows at once and the rest a moment later.
// SQLite: two read-only connections of their own read one half of the key
// range each, on two cores. Both start reading while the window's
// connection holds the write lock, and the first rows are read under that
// lock too, so no other user's save can fall between them: all three see
// the same state of the table.
// PostgreSQL: one connection of its own reads the whole table in one
// statement (one snapshot); the server does the other half of the work.
struct Dataset::Background {
    bool pg = false;
    QByteArray file, table, key; // file: SQLite's file, or PostgreSQL's connection string
    int ncols = 0;
    qint64 middle = 0;
    std::vector<std::unique_ptr<ColumnStore>> halves[2];
    int counts[2] = {0, 0};
    std::exception_ptr errors[2];
    std::atomic<sqlite3 *> handles[2] = {nullptr, nullptr};
    std::atomic<bool> cancelled{false};
    std::atomic<int> finished{0};
    std::thread threads[2];
    std::mutex mutex;
    std::condition_variable cv;
    int started = 0;

    ~Background() { stop(); }
    void stop()
    {
        cancelled = true;
        for (auto &h : handles)
            if (sqlite3 *db = h.load())
                sqlite3_interrupt(db);
        join();
    }
    void join()
    {
        for (auto &t : threads)
            if (t.joinable())
                t.join();
    }
    void readPg(const std::function<void()> &whenDone)
    {
        pg_conn *own = PQconnectdb(file.constData());
        try {
            if (PQstatus(own) != CONNECTION_OK)
                throw DataError(QString::fromUtf8(PQerrorMessage(own)).trimmed());
            std::vector<ColumnStore *> cols;
            for (auto &c : halves[0])
                cols.push_back(c.get());
            pgRowsInto(own, "SELECT * FROM " + table + " ORDER BY " + key, cols, counts[0], &cancelled);
        } catch (...) {
            errors[0] = std::current_exception();
        }
        PQfinish(own);
        finished = 2;
        if (!cancelled)
            whenDone();
    }
    void read(int which, const std::function<void()> &whenDone)
    {
        if (pg)
            return readPg(whenDone);
        sqlite3 *own = nullptr;
        sqlite3_stmt *st = nullptr;
        bool signalled = false;
        auto signal = [&] {
            if (signalled)
                return;
            signalled = true;
            std::lock_guard<std::mutex> g(mutex);
            ++started;
            cv.notify_all();
        };
        try {
            if (sqlite3_open_v2(file.constData(), &own, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
                throw DataError(QString::fromUtf8(sqlite3_errmsg(own)));
            handles[which] = own;
            sqlite3_busy_timeout(own, 5000);
            const QByteArray sql = "SELECT * FROM " + table + " WHERE " + key + (which ? " > ?" : " <= ?") + " ORDER BY " + key;
            if (sqlite3_prepare_v2(own, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
                throw DataError(QString::fromUtf8(sqlite3_errmsg(own)));
            if (sqlite3_column_count(st) != ncols)
                throw DataError(QStringLiteral("表的结构在读取时改变了，请重新打开窗口。"));
            sqlite3_bind_int64(st, 1, middle);
            std::vector<ColumnStore *> cols;
            for (auto &c : halves[which])
                cols.push_back(c.get());
            stepInto(st, cols, counts[which], std::numeric_limits<qint64>::max(), signal);
        } catch (...) {
            errors[which] = std::current_exception();
        }
        signal();
        sqlite3_finalize(st);
        handles[which] = nullptr;
        sqlite3_close(own);
        if (++finished == 2 && !cancelled)
            whenDone();
    }
};

namespace {
qint64 backgroundRows = 200000;
int PreviewRows = 2000;
} // namespace

// Reads the rows of a statement into a dataset's column storage.
class DatasetLoader {
public:
    static void load(Dataset &ds);

private:
    static void setupField(Dataset &ds, const QString &name, FieldType detected);
    static void loadSqlite(Dataset &ds, sqlite3 *db, const QString &sql);
    static bool startBackground(Dataset &ds, sqlite3 *db, sqlite3_stmt *stmt, const std::vector<ColumnStore *> &cols, qint64 expected, int &rows);
    static bool startPgBackground(Dataset &ds, pg_conn *pg, const QString &sql);
    static std::function<void()> whenDone(Dataset &ds, Dataset::Background *bg);
public:
    static void loadPreview(Dataset &ds, const QString &orderBy);
private:
    static void loadGeneric(Dataset &ds, const QString &sql);
    static void loadPostgres(Dataset &ds, pg_conn *pg, const QString &sql);
    static bool loadSqliteSplit(Dataset &ds, sqlite3 *db, const QString &sql);
    static int bindSqlite(const Dataset &ds, sqlite3 *db, sqlite3_stmt *stmt);
    static QVariant paramValue(const Dataset &ds, const QString &name);
};

QVariant DatasetLoader::paramValue(const Dataset &ds, const QString &name)
{
    for (auto it = ds.m_params.cbegin(); it != ds.m_params.cend(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return ds.m_conn->dialect().toDb(it.value());
    throw DataError(QStringLiteral("查询缺少参数 :%1 的值。").arg(name), DataError::Usage);
}

void DatasetLoader::setupField(Dataset &ds, const QString &name, FieldType detected)
{
    Field f;
    f.name = name;
    f.type = detected;
    const ColumnDef *def = ds.m_updateTable.isEmpty() ? nullptr : Schema::column(ds.m_updateTable, name);
    if (def) {
        f.name = def->name;
        f.type = typeOfColumn(def->type);
        f.width = def->type == ColumnType::Text ? def->width : 0;
        f.label = def->label;
        f.isLong = def->type == ColumnType::Memo || def->type == ColumnType::Picture;
        f.writable = !ds.m_readOnly;
        const TableDef *t = Schema::table(ds.m_updateTable);
        f.autoNumber = def->type == ColumnType::AutoNumber && t && def->name == t->primaryKey;
    } else if (!ds.m_updateTable.isEmpty() && name.compare(ds.m_keyColumn, Qt::CaseInsensitive) == 0) {
        f.writable = !ds.m_readOnly;
    }
    if (f.type == FieldType::Blob)
        f.isLong = true;
    ds.addDataField(f);
}

void DatasetLoader::load(Dataset &ds)
{
    if (!ds.m_conn || !ds.m_conn->isOpen())
        throw DataError(QStringLiteral("数据库没有打开，无法读取数据。"));
    QString sql = ds.m_sql;
    if (!ds.m_table.isEmpty()) {
        sql = QStringLiteral("SELECT * FROM %1").arg(ds.m_conn->quote(ds.m_table));
        const TableDef *t = Schema::table(ds.m_table);
        if (t && !t->primaryKey.isEmpty())
            sql += QStringLiteral(" ORDER BY %1").arg(ds.m_conn->quote(t->primaryKey));
    }
    if (sql.trimmed().isEmpty())
        throw DataError(QStringLiteral("数据集没有指定查询语句。"), DataError::Usage);
    if (sqlite3 *db = ds.m_conn->sqliteHandle())
        loadSqliteSplit(ds, db, sql) || (loadSqlite(ds, db, sql), true);
    else if (pg_conn *pg = ds.m_conn->pgHandle())
        startPgBackground(ds, pg, sql) || (loadPostgres(ds, pg, sql), true);
    else
        loadGeneric(ds, sql);
}

// Binds the dataset's parameters to the named placeholders of `stmt`;
// returns how many it has.
int DatasetLoader::bindSqlite(const Dataset &ds, sqlite3 *db, sqlite3_stmt *stmt)
{
    const int nparams = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= nparams; ++i) {
        const char *pname = sqlite3_bind_parameter_name(stmt, i);
        if (!pname)
            throw DataError(QStringLiteral("查询语句中的参数必须带名字（:名字）。"), DataError::Usage);
        const QVariant v = paramValue(ds, QString::fromUtf8(pname + 1));
        int rc = SQLITE_OK;
        if (!v.isValid() || v.isNull()) {
            rc = sqlite3_bind_null(stmt, i);
        } else {
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Bool: rc = sqlite3_bind_int64(stmt, i, v.toLongLong()); break;
            case QMetaType::Double:
            case QMetaType::Float: rc = sqlite3_bind_double(stmt, i, v.toDouble()); break;
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                rc = sqlite3_bind_blob64(stmt, i, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QByteArray s = v.toString().toUtf8();
                rc = sqlite3_bind_text64(stmt, i, s.constData(), sqlite3_uint64(s.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
            }
            }
        }
        if (rc != SQLITE_OK)
            throw DataError(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    return nparams;
}

void DatasetLoader::loadSqlite(Dataset &ds, sqlite3 *db, const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
        throw DataError(QString::fromUtf8(sqlite3_errmsg(db)));
    struct Finalizer {
        sqlite3_stmt *s;
        ~Finalizer() { sqlite3_finalize(s); }
    } fin{stmt};

    const int nparams = bindSqlite(ds, db, stmt);
    const int ncols = sqlite3_column_count(stmt);
    for (int c = 0; c < ncols; ++c)
        setupField(ds, QString::fromUtf8(sqlite3_column_name(stmt, c)), typeOfDecl(sqlite3_column_decltype(stmt, c)));

    std::vector<ColumnStore *> cols(static_cast<size_t>(ncols));
    for (int c = 0; c < ncols; ++c)
        cols[size_t(c)] = ds.m_columns[size_t(c)].get();
    // A whole table: its size is known, so the columns grow once.
    qint64 expected = 0;
    if (!ds.m_table.isEmpty()) {
        expected = ds.m_conn->scalar(QStringLiteral("SELECT count(*) FROM %1").arg(ds.m_conn->quote(ds.m_table))).toLongLong();
        for (ColumnStore *col : cols)
            col->reserve(size_t(expected));
    }

    int rows = 0;
    const bool background = ds.m_allowBackground && ds.m_rowOrder.isEmpty() && expected >= backgroundRows && nparams == 0 && startBackground(ds, db, stmt, cols, expected, rows);
    if (!background)
        stepInto(stmt, cols, rows, std::numeric_limits<qint64>::max(), {});
    ds.m_rowCount = rows;
    ds.m_rowState.assign(size_t(rows), quint8(Dataset::RowState::Unchanged));
}

namespace {
// From this size on work is shared by two threads: a statement over a split
// table whose keys span this many is read in halves, and this many rows are
// put in order on two threads. Below it one thread is as quick.
qint64 parallelRows = 100000;

// The smallest and largest key of a table, read on `db`; false when it has none.
bool keyRange(sqlite3 *db, const QByteArray &table, const QByteArray &key, qint64 &low, qint64 &high)
{
    sqlite3_stmt *st = nullptr;
    const QByteArray sql = "SELECT min(" + key + "), max(" + key + ") FROM " + table;
    bool found = false;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW
        && sqlite3_column_type(st, 0) == SQLITE_INTEGER) {
        low = sqlite3_column_int64(st, 0);
        high = sqlite3_column_int64(st, 1);
        found = true;
    }
    sqlite3_finalize(st);
    return found;
}

// Takes the write lock for the moment the parallel readers need to begin in
// one state, but only if no other user holds it: the readers then wait for
// nobody, and a reading on one connection (which never waits) takes over.
bool beginWriteLockAtOnce(sqlite3 *db)
{
    int waited = 5000;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA busy_timeout", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        waited = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_busy_timeout(db, 0);
    const bool locked = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_busy_timeout(db, waited);
    return locked;
}

// The two halves of a statement that ends with its WHERE clause.
std::array<QString, 2> halvesOf(const QString &sql, const QString &key, qint64 middle)
{
    return {QStringLiteral("%1 AND %2 <= %3").arg(sql, key).arg(middle), QStringLiteral("%1 AND %2 > %3").arg(sql, key).arg(middle)};
}

// Runs `read(0)` and `read(1)` on two threads; rethrows the first failure.
void onTwoThreads(const std::function<void(int)> &read)
{
    std::exception_ptr errors[2];
    std::thread other([&] {
        try {
            read(1);
        } catch (...) {
            errors[1] = std::current_exception();
        }
    });
    try {
        read(0);
    } catch (...) {
        errors[0] = std::current_exception();
    }
    other.join();
    for (const auto &e : errors)
        if (e)
            std::rethrow_exception(e);
}
} // namespace

// SQLite: both halves are read on read-only connections of their own. They
// begin reading while the window's connection holds the write lock, so no
// other user's save falls between them; the lock is let go as soon as both
// have begun, and the halves are read on two cores.
bool DatasetLoader::loadSqliteSplit(Dataset &ds, sqlite3 *db, const QString &sql)
{
    const TableDef *def = ds.m_splitTable.isEmpty() ? nullptr : Schema::table(ds.m_splitTable);
    const char *file = sqlite3_db_filename(db, "main");
    if (!def || def->primaryKey.isEmpty() || !file || !*file || std::thread::hardware_concurrency() < 2 || !sqlite3_get_autocommit(db))
        return false;
    const QString table = ds.m_conn->quote(def->name), key = table + QLatin1Char('.') + ds.m_conn->quote(def->primaryKey);
    qint64 low = 0, high = 0;
    if (!keyRange(db, table.toUtf8(), ds.m_conn->quote(def->primaryKey).toUtf8(), low, high) || high - low < parallelRows)
        return false;
    const auto halves = halvesOf(sql, key, low + (high - low) / 2);

    struct Reader {
        sqlite3 *db = nullptr;
        sqlite3_stmt *st = nullptr;
        std::vector<std::unique_ptr<ColumnStore>> cols;
        int rows = 0;
        ~Reader()
        {
            sqlite3_finalize(st);
            sqlite3_close(db);
        }
    } readers[2];
    for (int h = 0; h < 2; ++h) {
        Reader &r = readers[h];
        const QByteArray text = halves[size_t(h)].toUtf8();
        if (sqlite3_open_v2(file, &r.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            return false;
        sqlite3_busy_timeout(r.db, 5000);
        if (sqlite3_prepare_v2(r.db, text.constData(), int(text.size()), &r.st, nullptr) != SQLITE_OK)
            throw DataError(QString::fromUtf8(sqlite3_errmsg(r.db)));
        bindSqlite(ds, r.db, r.st);
    }
    const int ncols = sqlite3_column_count(readers[0].st);
    for (int c = 0; c < ncols; ++c)
        for (int h = 0; h < 2; ++h) {
            readers[h].cols.push_back(std::make_unique<ColumnStore>(typeOfDecl(sqlite3_column_decltype(readers[0].st, c))));
            // At most one row per key: reserving that much costs address space,
            // not memory, and spares the copies of growing. The first half
            // takes the second in when both are read.
            readers[h].cols.back()->reserve(size_t(h == 0 ? high - low + 1 : (high - low) / 2 + 1));
        }

    if (!beginWriteLockAtOnce(db))
        return false;
    bool locked = true;
    auto unlock = [&] {
        if (std::exchange(locked, false))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    };
    std::mutex mutex;
    std::condition_variable cv;
    int started = 0;
    try {
        onTwoThreads([&](int h) {
            Reader &r = readers[h];
            std::vector<ColumnStore *> cols;
            for (auto &c : r.cols)
                cols.push_back(c.get());
            const auto begun = [&] {
                std::unique_lock<std::mutex> g(mutex);
                ++started;
                cv.notify_all();
                if (h == 0) { // the first half's thread lets the lock go once both have begun
                    cv.wait(g, [&] { return started == 2; });
                    unlock();
                }
            };
            // calls begun() once, also when the first step fails
            stepInto(r.st, cols, r.rows, std::numeric_limits<qint64>::max(), begun);
        });
    } catch (...) {
        unlock();
        throw;
    }
    unlock();
    for (int c = 0; c < ncols; ++c)
        setupField(ds, QString::fromUtf8(sqlite3_column_name(readers[0].st, c)), readers[0].cols[size_t(c)]->type());
    ds.takeHalves(readers[0].cols, readers[1].cols, readers[0].rows + readers[1].rows);
    return true;
}

std::function<void()> DatasetLoader::whenDone(Dataset &ds, Dataset::Background *bg)
{
    QPointer<Dataset> target(&ds);
    return [bg, target] {
        // Back on the dataset's thread, unless the dataset has gone by then.
        if (target)
            QMetaObject::invokeMethod(target.data(), [target, bg] {
                if (target && target->m_background.get() == bg)
                    target->finishLoading();
            }, Qt::QueuedConnection);
    };
}

bool DatasetLoader::startPgBackground(Dataset &ds, pg_conn *pg, const QString &sql)
{
    const TableDef *def = ds.m_table.isEmpty() ? nullptr : Schema::table(ds.m_table);
    if (!ds.m_allowBackground || !ds.m_rowOrder.isEmpty() || !def || def->primaryKey.isEmpty() || ds.m_conn->inTransaction())
        return false;
    // The planner's estimate is enough to decide; it costs nothing.
    const qint64 estimate = ds.m_conn->scalar(QStringLiteral("SELECT reltuples::bigint FROM pg_class WHERE relname = ?"),
                                              QVariantList{ds.m_table.toLower()}).toLongLong();
    if (estimate < backgroundRows)
        return false;
    loadPostgres(ds, pg, sql + QStringLiteral(" LIMIT %1").arg(PreviewRows));
    auto bg = std::make_unique<Dataset::Background>();
    bg->pg = true;
    bg->file = pgConninfoOf(pg);
    bg->table = ds.m_conn->quote(ds.m_table).toUtf8();
    bg->key = ds.m_conn->quote(def->primaryKey).toUtf8();
    bg->ncols = 0;
    for (const auto &c : ds.m_columns) {
        if (!c)
            break;
        ++bg->ncols;
        for (int h = 0; h < 2; ++h)
            bg->halves[h].push_back(std::make_unique<ColumnStore>(c->type()));
        bg->halves[0].back()->reserve(size_t(estimate + estimate / 8));
    }
    Dataset::Background *raw = bg.get();
    const auto done = whenDone(ds, raw);
    bg->threads[0] = std::thread([raw, done] { raw->read(0, done); });
    ds.m_background = std::move(bg);
    return true;
}

bool DatasetLoader::startBackground(Dataset &ds, sqlite3 *db, sqlite3_stmt *stmt, const std::vector<ColumnStore *> &cols, qint64 expected, int &rows)
{
    const TableDef *def = Schema::table(ds.m_table);
    const char *file = sqlite3_db_filename(db, "main");
    if (!def || def->primaryKey.isEmpty() || !file || !*file || std::thread::hardware_concurrency() < 2 || !sqlite3_get_autocommit(db))
        return false;
    if (!beginWriteLockAtOnce(db))
        return false;
    struct Unlock {
        sqlite3 *db;
        ~Unlock() { sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr); }
    } unlock{db};

    auto bg = std::make_unique<Dataset::Background>();
    bg->file = file;
    bg->table = ds.m_conn->quote(ds.m_table).toUtf8();
    bg->key = ds.m_conn->quote(def->primaryKey).toUtf8();
    bg->ncols = int(cols.size());
    // The key halfway between the smallest and the largest splits the table
    // into two halves of about equal size (keys are handed out in order).
    qint64 count = expected, low = 0, high = 0;
    if (!keyRange(db, bg->table, bg->key, low, high))
        return false;
    bg->middle = low + (high - low) / 2;
    for (int h = 0; h < 2; ++h)
        for (ColumnStore *c : cols) {
            bg->halves[h].push_back(std::make_unique<ColumnStore>(c->type()));
            bg->halves[h].back()->reserve(size_t(h == 0 ? count : count / 2 + count / 8));
        }
    Dataset::Background *raw = bg.get();
    const auto done = whenDone(ds, raw);
    for (int h = 0; h < 2; ++h)
        bg->threads[h] = std::thread([raw, h, done] { raw->read(h, done); });
    {
        std::unique_lock<std::mutex> g(bg->mutex);
        bg->cv.wait(g, [&] { return bg->started == 2; });
    }
    // The first rows, in the same state of the table as the halves.
    stepInto(stmt, cols, rows, PreviewRows, {});
    sqlite3_reset(stmt);
    ds.m_background = std::move(bg);
    return true;
}

// While the rest is read: the first rows again in the order a sort asks for,
// so the top of the list is what it will be once every row is in.
void DatasetLoader::loadPreview(Dataset &ds, const QString &orderBy)
{
    const QByteArray sql = QStringLiteral("SELECT * FROM %1 ORDER BY %2, %3 LIMIT %4")
                               .arg(ds.m_conn->quote(ds.m_table), orderBy, ds.m_conn->quote(ds.m_keyColumn))
                               .arg(PreviewRows)
                               .toUtf8();
    std::vector<std::unique_ptr<ColumnStore>> fresh;
    std::vector<ColumnStore *> cols;
    for (int c = 0; c < ds.m_background->ncols; ++c) {
        fresh.push_back(std::make_unique<ColumnStore>(ds.m_columns[size_t(c)]->type()));
        cols.push_back(fresh.back().get());
    }
    int rows = 0;
    try {
        if (pg_conn *pg = ds.m_conn->pgHandle()) {
            pgRowsInto(pg, sql, cols, rows);
        } else if (sqlite3 *db = ds.m_conn->sqliteHandle()) {
            sqlite3_stmt *st = nullptr;
            struct Finalizer {
                sqlite3_stmt *&s;
                ~Finalizer() { sqlite3_finalize(s); }
            } fin{st};
            if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK || sqlite3_column_count(st) != ds.m_background->ncols)
                return;
            stepInto(st, cols, rows, PreviewRows, {});
        } else {
            return;
        }
    } catch (const DataError &) {
        return; // the rows already shown stay
    }
    for (int c = 0; c < ds.m_background->ncols; ++c)
        ds.m_columns[size_t(c)] = std::move(fresh[size_t(c)]);
    ds.m_rowCount = rows;
    ds.m_rowState.assign(size_t(rows), quint8(Dataset::RowState::Unchanged));
    ds.touch();
}

// PostgreSQL through libpq: rows arrive one at a time (single-row mode), in
// text form, straight into column storage.
void DatasetLoader::loadPostgres(Dataset &ds, pg_conn *pg, const QString &sql)
{
    // ":name" placeholders become $1, $2 … in order of first use.
    QString converted;
    const QStringList order = scanPlaceholders(sql, &converted);
    std::vector<QByteArray> values(size_t(order.size()));
    std::vector<const char *> ptrs(size_t(order.size()), nullptr); // null pointer: SQL NULL
    for (int k = 0; k < order.size(); ++k) {
        const QVariant v = paramValue(ds, order[k]);
        if (!v.isValid() || v.isNull())
            continue;
        values[size_t(k)] = v.typeId() == QMetaType::Bool ? QByteArray(v.toBool() ? "1" : "0") : v.toString().toUtf8();
        ptrs[size_t(k)] = values[size_t(k)].constData();
    }
    const QByteArray text = converted.toUtf8();
    // A list over a table has at most a row per key: its columns are sized once.
    qint64 expected = 0;
    if (const TableDef *def = ds.m_splitTable.isEmpty() ? nullptr : Schema::table(ds.m_splitTable); def && !def->primaryKey.isEmpty()) {
        QSqlQuery range = ds.m_conn->query(QStringLiteral("SELECT min(%1), max(%1) FROM %2").arg(ds.m_conn->quote(def->primaryKey), ds.m_conn->quote(def->name)));
        if (range.next() && !range.value(0).isNull())
            expected = range.value(1).toLongLong() - range.value(0).toLongLong() + 1;
    }
    if (!PQsendQueryParams(pg, text.constData(), int(ptrs.size()), nullptr, ptrs.data(), nullptr, nullptr, 0))
        throw DataError(QString::fromUtf8(PQerrorMessage(pg)).trimmed());
    PQsetSingleRowMode(pg);

    QString failure;
    bool described = false;
    int ncols = 0;
    std::vector<ColumnStore *> cols;
    int rows = 0;
    while (PGresult *res = PQgetResult(pg)) {
        const ExecStatusType st = PQresultStatus(res);
        if (st == PGRES_SINGLE_TUPLE || (st == PGRES_TUPLES_OK && !described)) {
            if (!described) {
                described = true;
                ncols = PQnfields(res);
                for (int c = 0; c < ncols; ++c)
                    setupField(ds, QString::fromUtf8(PQfname(res, c)), pgFieldType(PQftype(res, c)));
                cols.resize(size_t(ncols));
                for (int c = 0; c < ncols; ++c) {
                    cols[size_t(c)] = ds.m_columns[size_t(c)].get();
                    if (expected >= parallelRows) // large: reserving costs address space, not memory
                        cols[size_t(c)]->reserve(size_t(expected));
                }
            }
            for (int r = 0; r < PQntuples(res); ++r) {
                for (int c = 0; c < ncols; ++c) {
                    ColumnStore *col = cols[size_t(c)];
                    if (PQgetisnull(res, r, c)) {
                        col->appendNull();
                        continue;
                    }
                    appendPgCell(col, PQgetvalue(res, r, c), PQgetlength(res, r, c));
                }
                ++rows;
            }
        } else if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK && failure.isEmpty()) {
            failure = QString::fromUtf8(PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY));
            if (failure.isEmpty())
                failure = QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        }
        PQclear(res);
    }
    if (!failure.isEmpty())
        throw DataError(QStringLiteral("ERROR:  %1").arg(failure));
    ds.m_rowCount = rows;
    ds.m_rowState.assign(size_t(rows), quint8(Dataset::RowState::Unchanged));
}

void DatasetLoader::loadGeneric(Dataset &ds, const QString &sql)
{
    QSqlQuery q(ds.m_conn->database());
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    const QStringList names = placeholderNames(sql);
    if (!names.isEmpty()) {
        if (!q.prepare(sql))
            throw DataError(Connection::lastErrorText(q));
        for (const QString &n : names)
            q.bindValue(QLatin1Char(':') + n, paramValue(ds, n));
        if (!q.exec())
            throw DataError(Connection::lastErrorText(q));
    } else if (!q.exec(sql)) {
        throw DataError(Connection::lastErrorText(q));
    }
    const QSqlRecord rec = q.record();
    const int ncols = rec.count();
    for (int c = 0; c < ncols; ++c)
        setupField(ds, rec.fieldName(c), typeOfMeta(rec.field(c).metaType().id()));
    int rows = 0;
    while (q.next()) {
        for (int c = 0; c < ncols; ++c) {
            ColumnStore *col = ds.m_columns[size_t(c)].get();
            const QVariant v = q.value(c);
            if (v.isNull()) {
                col->appendNull();
                continue;
            }
            switch (col->type()) {
            case FieldType::Integer: col->appendInt(v.toLongLong()); break;
            case FieldType::Double: col->appendDouble(v.toDouble()); break;
            case FieldType::DateTime: {
                QDateTime dt = v.typeId() == QMetaType::QString ? Dialect::parseDateTime(v.toString()) : v.toDateTime();
                if (v.typeId() == QMetaType::QDate)
                    dt = QDateTime(v.toDate(), QTime(0, 0));
                dt.isValid() ? col->appendInt(ColumnStore::encodeDateTime(dt)) : col->appendNull();
                break;
            }
            case FieldType::Text: {
                const QByteArray utf8 = v.toString().toUtf8();
                col->appendText(utf8.constData(), size_t(utf8.size()));
                break;
            }
            case FieldType::Blob: col->appendBlob(v.toByteArray()); break;
            case FieldType::Variant: col->appendVariant(v); break;
            }
        }
        ++rows;
    }
    ds.m_rowCount = rows;
    ds.m_rowState.assign(size_t(rows), quint8(Dataset::RowState::Unchanged));
}

// ---------------------------------------------------------------------------

Dataset::Dataset(Connection *conn, QObject *parent)
    : QObject(parent), m_conn(conn ? conn : Connection::current())
{
}

Dataset::~Dataset() = default;

void Dataset::setBackgroundRows(qint64 rows, int firstRows)
{
    backgroundRows = rows;
    PreviewRows = std::max(1, firstRows);
}

void Dataset::setParallelRows(qint64 rows) { parallelRows = std::max<qint64>(1, rows); }

bool Dataset::isLoading() const { return m_background != nullptr; }

void Dataset::finishLoading()
{
    if (!m_background)
        return;
    std::unique_ptr<Background> bg = std::move(m_background);
    bg->join();
    for (const std::exception_ptr &e : bg->errors) {
        if (!e)
            continue;
        // The background read failed (an I/O error, the file gone): read
        // everything here instead, where a failure reaches the caller.
        m_allowBackground = false;
        struct Restore {
            bool &flag;
            ~Restore() { flag = true; }
        } restore{m_allowBackground};
        requery();
        return;
    }
    QVariant key;
    const int keyField = fieldIndex(m_keyColumn);
    if (keyField >= 0 && m_cur >= 0)
        key = valueAt(m_cur, keyField);
    takeHalves(bg->halves[0], bg->halves[1], bg->counts[0] + bg->counts[1]);
    m_keyIndex.clear();
    touch();
    rebuildView();
    setCursor(visibleRowWithKey(keyField, key), false);
    notifyReset();
    emit loaded();
}

// Two halves read apart become the dataset's rows: the first half's columns,
// each with the second half's rows after its own.
void Dataset::takeHalves(std::vector<std::unique_ptr<ColumnStore>> &first, std::vector<std::unique_ptr<ColumnStore>> &second, int rows)
{
    for (size_t c = 0; c < first.size(); ++c) {
        first[c]->appendAll(std::move(*second[c]));
        second[c].reset();
        m_columns[c] = std::move(first[c]);
    }
    m_rowCount = rows;
    m_rowState.assign(size_t(rows), quint8(RowState::Unchanged));
}

// After the rows were read again: the visible row holding `key`, or the first.
int Dataset::visibleRowWithKey(int keyField, const QVariant &key) const
{
    if (keyField >= 0 && key.isValid() && !key.isNull())
        for (size_t i = 0; i < m_view.size(); ++i)
            if (cellEquals(int(m_view[i]), keyField, key))
                return int(i);
    return m_view.empty() ? -1 : 0;
}

void Dataset::releaseStatements() { m_prepared.reset(); }

void Dataset::setSql(const QString &sql)
{
    m_sql = sql;
    m_table.clear();
}

void Dataset::setTable(const QString &table)
{
    m_table = table;
    m_sql.clear();
    const TableDef *t = Schema::table(table);
    setUpdateTable(t ? t->name : table, t && !t->primaryKey.isEmpty() ? t->primaryKey : QStringLiteral("Id"));
}

void Dataset::setUpdateTable(const QString &table, const QString &keyColumn)
{
    m_updateTable = table;
    m_keyColumn = keyColumn;
}

void Dataset::setParam(const QString &name, const QVariant &value)
{
    QString key = name.startsWith(QLatin1Char(':')) ? name.mid(1) : name;
    for (auto it = m_params.begin(); it != m_params.end(); ++it) {
        if (it.key().compare(key, Qt::CaseInsensitive) == 0) {
            it.value() = value;
            return;
        }
    }
    m_params.insert(key, value);
}

QVariant Dataset::param(const QString &name) const
{
    for (auto it = m_params.cbegin(); it != m_params.cend(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    return {};
}

void Dataset::resetStorage()
{
    m_fields.clear();
    m_fieldIndex.clear();
    m_columns.clear();
    m_rowState.clear();
    m_rowCount = 0;
    m_originals.clear();
    m_view.clear();
    m_viewPos.clear();
    m_cur = -1;
    m_eof = m_bof = true;
    m_editState = EditState::Browse;
    m_editSnapshot.clear();
    m_editTouched = false;
    m_applied = {};
    m_keyIndex.clear();
    touch();
}

void Dataset::addDataField(const Field &f)
{
    m_fieldIndex.insert(f.name.toLower(), int(m_fields.size()));
    m_fields.push_back(f);
    m_columns.push_back(std::make_unique<ColumnStore>(f.type));
}

void Dataset::loadRows()
{
    resetStorage();
    try {
        DatasetLoader::load(*this);
        if (!m_background)
            orderStoredRows();
    } catch (...) {
        resetStorage();
        m_open = false;
        throw;
    }
    for (const Field &f : m_extraFields) {
        m_fieldIndex.insert(f.name.toLower(), int(m_fields.size()));
        m_fields.push_back(f);
        m_columns.push_back(nullptr);
    }
    m_open = true;
    if (m_filtered && !m_filter.keepsAll())
        m_predicate = compileFilter(m_filter);
    if (!m_sortText.isEmpty())
        setSort(m_sortText); // resolves the field again; the view is rebuilt below
}

void Dataset::open()
{
    if (m_open)
        return;
    loadRows();
    rebuildView();
    setCursor(m_view.empty() ? -1 : 0, false);
    notifyReset();
    emit opened();
}

void Dataset::close()
{
    finishLoading();
    if (!m_open)
        return;
    resetStorage();
    m_open = false;
    notifyReset();
}

void Dataset::requery()
{
    finishLoading();
    if (!m_open) {
        open();
        return;
    }
    QVariant key;
    const int keyField = fieldIndex(m_keyColumn);
    if (keyField >= 0 && m_cur >= 0)
        key = valueAt(m_cur, keyField);
    loadRows();
    rebuildView();
    setCursor(visibleRowWithKey(keyField, key), false);
    notifyReset();
    emit opened();
}

int Dataset::fieldIndex(const QString &name) const
{
    return m_fieldIndex.value(name.toLower(), -1);
}

int Dataset::requireField(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw DataError(QStringLiteral("数据集中没有字段“%1”。").arg(name), DataError::Usage);
    return i;
}

QStringList Dataset::fieldNames() const
{
    QStringList out;
    for (const Field &f : m_fields)
        out << f.name;
    return out;
}

void Dataset::addLookupField(const QString &name, const QString &keyField, Dataset *lookup,
                             const QString &lookupKey, const QString &lookupResult)
{
    Field f;
    f.name = name;
    f.kind = Field::Lookup;
    f.type = FieldType::Variant;
    f.keyField = keyField;
    f.lookupDataset = lookup;
    f.lookupKey = lookupKey;
    f.lookupResult = lookupResult;
    m_extraFields.push_back(f);
    if (m_open) {
        m_fieldIndex.insert(name.toLower(), int(m_fields.size()));
        m_fields.push_back(f);
        m_columns.push_back(nullptr);
        notifyReset();
    }
    // A lookup shows what the other dataset holds now.
    if (lookup) {
        connect(lookup, &Dataset::valueChanged, this, [this] { if (!m_disabled) emit layoutReset(); });
        connect(lookup, &Dataset::layoutReset, this, [this] { if (!m_disabled) emit layoutReset(); });
    }
}

void Dataset::addCalculatedField(const QString &name, FieldType type, std::function<QVariant(const Dataset &, int)> fn)
{
    Field f;
    f.name = name;
    f.kind = Field::Calculated;
    f.type = type;
    f.calculate = std::move(fn);
    m_extraFields.push_back(f);
    if (m_open) {
        m_fieldIndex.insert(name.toLower(), int(m_fields.size()));
        m_fields.push_back(f);
        m_columns.push_back(nullptr);
        notifyReset();
    }
}

// ---- view, filter, sort ---------------------------------------------------

bool Dataset::rowPasses(int s) const
{
    const RowState st = RowState(m_rowState[size_t(s)]);
    if (st == RowState::Deleted || st == RowState::Gone)
        return false;
    if (m_master && !m_masterByParams) {
        const int mcur = m_master->currentRow();
        if (mcur < 0)
            return false;
        for (int i = 0; i < m_keyFields.size(); ++i) {
            const int kf = fieldIndex(m_keyFields[i]);
            const int mf = m_master->fieldIndex(m_masterFields[i]);
            if (kf < 0 || mf < 0)
                return false;
            const QVariant mv = m_master->valueAt(mcur, mf);
            if (mv.isNull() || !cellEquals(s, kf, mv))
                return false;
        }
    }
    if (m_filtered && m_predicate && !m_predicate(s))
        return false;
    return true;
}

void Dataset::rebuildView()
{
    m_view.clear();
    m_view.reserve(size_t(m_rowCount));
    for (int s = 0; s < m_rowCount; ++s)
        if (rowPasses(s))
            m_view.push_back(quint32(s));
    sortView();
}

void Dataset::sortView()
{
    if (m_sortField >= 0 && m_sortField < fieldCount()) {
        const int f = m_sortField;
        const bool desc = m_sortDesc;
        std::stable_sort(m_view.begin(), m_view.end(), [&](quint32 a, quint32 b) {
            const int c = compareCells(int(a), int(b), f);
            return desc ? c > 0 : c < 0;
        });
    }
    m_viewPos.assign(size_t(m_rowCount), -1);
    for (size_t i = 0; i < m_view.size(); ++i)
        m_viewPos[m_view[i]] = qint32(i);
}

int Dataset::compareCells(int a, int b, int field) const
{
    const Field &f = m_fields[size_t(field)];
    const ColumnStore *col = m_columns[size_t(field)].get();
    if (f.kind != Field::Data || !col || col->type() == FieldType::Variant || col->type() == FieldType::Blob)
        return compareVariants(storageValue(a, field), storageValue(b, field));
    const bool an = col->isNull(a), bn = col->isNull(b);
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1); // nulls first
    switch (col->type()) {
    case FieldType::Integer:
    case FieldType::DateTime: {
        const qint64 x = col->intAt(a), y = col->intAt(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case FieldType::Double: {
        const double x = col->doubleAt(a), y = col->doubleAt(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case FieldType::Text: {
        // UTF-8 byte order is code point order.
        if (col->textId(a) == col->textId(b))
            return 0;
        const quint32 la = col->textLen(a), lb = col->textLen(b);
        const int c = std::memcmp(col->textPtr(a), col->textPtr(b), std::min(la, lb));
        if (c)
            return c < 0 ? -1 : 1;
        return la < lb ? -1 : (la > lb ? 1 : 0);
    }
    default: return 0;
    }
}

namespace {
// A text to sort by, with the eight bytes after the part all texts of its
// group share as one number, so most comparisons are one comparison.
struct TextKey {
    quint64 head;
    const char *p;
    quint32 len;
    quint32 row;
};

// Sorts `rows` by their texts in `col` (bytes; a null as the empty text);
// rows of equal texts keep their order.
void sortByText(const ColumnStore &col, quint32 *rows, size_t count, std::vector<TextKey> &keys)
{
    if (count < 2)
        return;
    keys.resize(count);
    size_t common = std::numeric_limits<size_t>::max();
    const char *first = col.textPtr(int(rows[0]));
    const size_t firstLen = col.textLen(int(rows[0]));
    for (size_t i = 0; i < count; ++i) {
        TextKey &k = keys[i];
        k.p = col.textPtr(int(rows[i]));
        k.len = col.textLen(int(rows[i]));
        k.row = rows[i];
        size_t same = 0;
        const size_t limit = std::min({common, firstLen, size_t(k.len)});
        while (same < limit && k.p[same] == first[same])
            ++same;
        common = same;
    }
    for (TextKey &k : keys) {
        quint64 h = 0;
        for (size_t b = 0; b < 8; ++b)
            h = (h << 8) | (common + b < k.len ? quint8(k.p[common + b]) : 0u);
        k.head = h;
    }
    auto less = [common](const TextKey &a, const TextKey &b) {
        if (a.head != b.head)
            return a.head < b.head;
        const size_t m = std::min(a.len, b.len);
        if (m > common)
            if (const int c = std::memcmp(a.p + common, b.p + common, m - common))
                return c < 0;
        if (a.len != b.len)
            return a.len < b.len;
        return a.row < b.row;
    };
    // Codes are handed out in order, so a group is mostly a few ascending
    // runs (one per bill, say): those are merged; many short runs are sorted.
    std::vector<size_t> runs{0};
    for (size_t i = 1; i < count; ++i)
        if (less(keys[i], keys[i - 1]))
            runs.push_back(i);
    if (runs.size() == 1)
        return;
    runs.push_back(count);
    if (runs.size() > count / 8 + 2) {
        std::sort(keys.begin(), keys.end(), less);
    } else {
        std::vector<TextKey> other(count);
        while (runs.size() > 2) {
            std::vector<size_t> merged{0};
            for (size_t r = 0; r + 1 < runs.size(); r += 2) {
                const size_t a = runs[r], b = runs[r + 1], c = r + 2 < runs.size() ? runs[r + 2] : b;
                std::merge(keys.begin() + qsizetype(a), keys.begin() + qsizetype(b), keys.begin() + qsizetype(b), keys.begin() + qsizetype(c),
                           other.begin() + qsizetype(a), less);
                merged.push_back(c);
            }
            keys.swap(other);
            runs.swap(merged);
        }
    }
    for (size_t i = 0; i < count; ++i)
        rows[i] = keys[i].row;
}
} // namespace

// Puts the rows just read in the order m_rowOrder names. Leading text
// columns of few distinct texts (categories, departments) are ranked once per
// distinct text and the rows dealt into buckets by those ranks in one pass;
// the columns left (item codes) are compared only within a bucket, where the
// rows mostly stand in order already, so a check spares most of the sorting.
void Dataset::orderStoredRows()
{
    if (m_rowOrder.isEmpty() || m_rowCount < 2)
        return;
    std::vector<int> keys;
    for (const QString &name : std::as_const(m_rowOrder)) {
        const int f = fieldIndex(name);
        if (f < 0 || m_fields[size_t(f)].kind != Field::Data)
            throw DataError(QStringLiteral("排序字段“%1”不存在。").arg(name), DataError::Usage);
        keys.push_back(f);
    }
    const size_t n = size_t(m_rowCount);
    LargeVector<quint32> bucket(n, 0);
    size_t buckets = 1, ranked = 0;
    for (; ranked < keys.size(); ++ranked) {
        const ColumnStore *col = m_columns[size_t(keys[ranked])].get();
        if (col->type() != FieldType::Text)
            break;
        const size_t pool = col->poolSize();
        if (pool > 4096 && pool > n / 8)
            break; // mostly distinct: ranking would be the whole sort
        std::vector<quint32> ids(pool);
        std::iota(ids.begin(), ids.end(), 0u);
        auto less = [col](quint32 a, quint32 b) {
            const quint32 la = col->poolLen(a), lb = col->poolLen(b);
            const int c = std::memcmp(col->poolText(a), col->poolText(b), std::min(la, lb));
            return c ? c < 0 : la < lb;
        };
        std::sort(ids.begin(), ids.end(), less);
        // equal texts (a pool may hold one twice) share a rank
        std::vector<quint32> rank(pool);
        quint32 next = 0;
        for (size_t i = 0; i < pool; ++i) {
            if (i == 0 || less(ids[i - 1], ids[i]))
                ++next;
            rank[ids[i]] = next;
        }
        const size_t width = size_t(next) + 1;
        if (buckets * width > n + 1)
            break; // more buckets than rows: plain comparing is as good
        for (size_t r = 0; r < n; ++r) // a null cell holds entry 0, the empty text
            bucket[r] = quint32(bucket[r] * width + rank[col->textId(int(r))]);
        buckets *= width;
    }
    LargeVector<quint32> order(n);
    {
        std::vector<quint32> start(buckets + 1, 0);
        for (quint32 b : bucket)
            ++start[b + 1];
        for (size_t b = 1; b <= buckets; ++b)
            start[b] += start[b - 1];
        for (size_t r = 0; r < n; ++r)
            order[start[bucket[r]]++] = quint32(r);
    }
    if (ranked < keys.size()) {
        auto less = [&](quint32 a, quint32 b) {
            for (size_t k = ranked; k < keys.size(); ++k) {
                const ColumnStore *col = m_columns[size_t(keys[k])].get();
                if (col->type() == FieldType::Text) {
                    if (col->textId(int(a)) == col->textId(int(b)))
                        continue;
                    const quint32 la = col->textLen(int(a)), lb = col->textLen(int(b));
                    if (const int c = std::memcmp(col->textPtr(int(a)), col->textPtr(int(b)), std::min(la, lb)))
                        return c < 0;
                    if (la != lb)
                        return la < lb;
                } else if (const int c = compareCells(int(a), int(b), keys[k])) {
                    return c < 0;
                }
            }
            return false;
        };
        const ColumnStore *last = m_columns[size_t(keys[ranked])].get();
        const bool oneText = ranked + 1 == keys.size() && last->type() == FieldType::Text;
        // Each bucket by itself, the buckets of either half of the rows on a thread of their own.
        auto sortBuckets = [&](size_t from, size_t end) {
            std::vector<TextKey> scratch;
            while (from < end) {
                size_t to = from + 1;
                while (to < end && bucket[order[to]] == bucket[order[from]])
                    ++to;
                if (oneText)
                    sortByText(*last, order.data() + from, to - from, scratch);
                else if (!std::is_sorted(order.begin() + qsizetype(from), order.begin() + qsizetype(to), less))
                    std::stable_sort(order.begin() + qsizetype(from), order.begin() + qsizetype(to), less);
                from = to;
            }
        };
        size_t middle = n / 2; // moved to where a bucket starts
        while (middle > 0 && middle < n && bucket[order[middle]] == bucket[order[middle - 1]])
            ++middle;
        if (n >= size_t(parallelRows))
            onTwoThreads([&](int h) { h == 0 ? sortBuckets(0, middle) : sortBuckets(middle, n); });
        else
            sortBuckets(0, n);
    }
    // Columns alternate between two threads, each with working space of its own.
    auto reorderEvery = [&](int first, int step) {
        LargeVector<quint64> scratch;
        for (size_t f = size_t(first); f < m_columns.size(); f += size_t(step))
            if (m_columns[f])
                m_columns[f]->reorder(order, scratch);
    };
    if (n >= size_t(parallelRows))
        onTwoThreads([&](int h) { reorderEvery(h, 2); });
    else
        reorderEvery(0, 1);
    touch();
}

bool Dataset::cellEquals(int s, int field, const QVariant &v) const
{
    const ColumnStore *col = m_columns[size_t(field)].get();
    const bool vnull = !v.isValid() || v.isNull();
    if (!col || col->type() == FieldType::Variant || col->type() == FieldType::Blob) {
        const QVariant mine = storageValue(s, field);
        if (mine.isNull() || vnull)
            return mine.isNull() && vnull;
        return compareVariants(mine, v) == 0 || keyText(mine) == keyText(v);
    }
    if (col->isNull(s) || vnull)
        return col->isNull(s) && vnull;
    switch (col->type()) {
    case FieldType::Integer: {
        bool ok = false;
        const qint64 x = v.toLongLong(&ok);
        if (!ok) {
            const double d = v.toDouble(&ok);
            return ok && double(col->intAt(s)) == d;
        }
        return col->intAt(s) == x;
    }
    case FieldType::Double: return col->doubleAt(s) == v.toDouble();
    case FieldType::DateTime: {
        QDateTime dt = v.typeId() == QMetaType::QString ? Dialect::parseDateTime(v.toString()) : v.toDateTime();
        if (v.typeId() == QMetaType::QDate)
            dt = QDateTime(v.toDate(), QTime(0, 0));
        return dt.isValid() && col->intAt(s) == ColumnStore::encodeDateTime(dt);
    }
    case FieldType::Text: {
        const QByteArray u = v.toString().toUtf8();
        return col->textLen(s) == quint32(u.size()) && std::memcmp(col->textPtr(s), u.constData(), size_t(u.size())) == 0;
    }
    default: return false;
    }
}

Dataset::Predicate Dataset::compileFilter(const Filter &f) const
{
    using Op = Filter::Op;
    switch (f.op()) {
    case Op::True: return [](int) { return true; };
    case Op::And: {
        auto a = compileFilter(f.children()[0]), b = compileFilter(f.children()[1]);
        return [a, b](int s) { return a(s) && b(s); };
    }
    case Op::Or: {
        auto a = compileFilter(f.children()[0]), b = compileFilter(f.children()[1]);
        return [a, b](int s) { return a(s) || b(s); };
    }
    case Op::Not: {
        auto a = compileFilter(f.children()[0]);
        return [a](int s) { return !a(s); };
    }
    default: break;
    }
    const int field = fieldIndex(f.column());
    if (field < 0)
        throw DataError(QStringLiteral("过滤条件中的字段“%1”不存在。").arg(f.column()), DataError::Usage);
    const ColumnStore *col = m_columns[size_t(field)].get();
    const Op op = f.op();
    if (op == Op::IsNull || op == Op::IsNotNull) {
        const bool want = op == Op::IsNull;
        return [this, field, want](int s) { return storageValue(s, field).isNull() == want; };
    }
    const QVariant lit = f.value();
    if (op == Op::Like) {
        const QString pattern = lit.toString();
        // The common form, a prefix and one trailing %, compares bytes.
        const QString body = pattern.left(pattern.size() - 1);
        const bool prefixOnly = pattern.endsWith(QLatin1Char('%')) && !body.contains(QLatin1Char('%'))
            && !body.contains(QLatin1Char('_')) && !body.contains(QLatin1Char('[')) && !body.contains(QLatin1Char('*'))
            && !body.contains(QLatin1Char('?'));
        if (col && col->type() == FieldType::Text && prefixOnly) {
            const QByteArray u = body.toUtf8();
            return [col, u](int s) {
                return !col->isNull(s) && col->textLen(s) >= quint32(u.size())
                    && std::memcmp(col->textPtr(s), u.constData(), size_t(u.size())) == 0;
            };
        }
        return [this, field, pattern](int s) {
            const QVariant v = storageValue(s, field);
            return !v.isNull() && likeMatch(v.toString(), pattern);
        };
    }
    auto verdict = [op](int c) {
        switch (op) {
        case Op::Equal: return c == 0;
        case Op::NotEqual: return c != 0;
        case Op::Less: return c < 0;
        case Op::LessEqual: return c <= 0;
        case Op::Greater: return c > 0;
        case Op::GreaterEqual: return c >= 0;
        default: return false;
        }
    };
    if (col && col->type() == FieldType::Text) {
        // Text compares as text; an empty text matches an empty or null cell.
        const QByteArray u = lit.toString().toUtf8();
        return [col, u, verdict](int s) {
            const quint32 len = col->isNull(s) ? 0 : col->textLen(s);
            const char *p = col->isNull(s) ? "" : col->textPtr(s);
            int c = std::memcmp(p, u.constData(), std::min<size_t>(len, size_t(u.size())));
            if (!c)
                c = len < quint32(u.size()) ? -1 : (len > quint32(u.size()) ? 1 : 0);
            return verdict(c);
        };
    }
    if (col && (col->type() == FieldType::Integer || col->type() == FieldType::Double)) {
        bool ok = false;
        const double x = lit.toDouble(&ok);
        if (!ok)
            throw DataError(QStringLiteral("过滤条件中字段“%1”应与数字比较。").arg(f.column()), DataError::Usage);
        const bool isInt = col->type() == FieldType::Integer;
        return [col, x, isInt, verdict](int s) {
            if (col->isNull(s))
                return false;
            const double v = isInt ? double(col->intAt(s)) : col->doubleAt(s);
            return verdict(v < x ? -1 : (v > x ? 1 : 0));
        };
    }
    if (col && col->type() == FieldType::DateTime) {
        QDateTime dt = lit.typeId() == QMetaType::QString ? Dialect::parseDateTime(lit.toString()) : lit.toDateTime();
        if (!dt.isValid() && lit.typeId() == QMetaType::QString) {
            const QDate d = QDate::fromString(lit.toString().trimmed(), QStringLiteral("yyyy/M/d"));
            if (d.isValid())
                dt = QDateTime(d, QTime(0, 0));
        }
        if (!dt.isValid())
            throw DataError(QStringLiteral("过滤条件中的日期“%1”格式错误。").arg(lit.toString()), DataError::Usage);
        const qint64 x = ColumnStore::encodeDateTime(dt);
        return [col, x, verdict](int s) {
            if (col->isNull(s))
                return false;
            const qint64 v = col->intAt(s);
            return verdict(v < x ? -1 : (v > x ? 1 : 0));
        };
    }
    return [this, field, lit, verdict](int s) {
        const QVariant v = storageValue(s, field);
        if (v.isNull())
            return false;
        return verdict(compareVariants(v, lit));
    };
}

void Dataset::applyFilterState(const Filter &f, const QString &text, bool on)
{
    post();
    Predicate pred;
    if (m_open && on && !f.keepsAll())
        pred = compileFilter(f); // throws before anything changes
    m_filter = f;
    m_filterText = text;
    m_filtered = on;
    m_predicate = pred;
    if (m_open) {
        rebuildView();
        setCursor(m_view.empty() ? -1 : 0, false);
        notifyReset();
    }
}

void Dataset::setFilter(const Filter &f) { applyFilterState(f, QString(), m_filtered); }

void Dataset::setFilterText(const QString &text) { applyFilterState(Filter::parse(text), text, m_filtered); }

void Dataset::setFiltered(bool on) { applyFilterState(m_filter, m_filterText, on); }

void Dataset::filterTo(const Filter &f)
{
    applyFilterState(f, QString(), true);
    first();
}

void Dataset::setSort(const QString &sortText)
{
    post();
    QString t = sortText.trimmed();
    int field = -1;
    bool desc = false;
    if (!t.isEmpty()) {
        const QStringList parts = t.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() > 2 || (parts.size() == 2 && parts[1].compare(QLatin1String("ASC"), Qt::CaseInsensitive) != 0
                                 && parts[1].compare(QLatin1String("DESC"), Qt::CaseInsensitive) != 0))
            throw DataError(QStringLiteral("排序条件“%1”有误。").arg(sortText), DataError::Usage);
        desc = parts.size() == 2 && parts[1].compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
        if (m_open) {
            field = fieldIndex(parts[0]);
            if (field < 0)
                throw DataError(QStringLiteral("排序字段“%1”不存在。").arg(parts[0]), DataError::Usage);
        }
    }
    m_sortText = t;
    m_sortField = field;
    m_sortDesc = desc;
    if (m_background && field >= 0 && m_fields[size_t(field)].kind == Field::Data && field < m_background->ncols) {
        m_cur = -1;
        DatasetLoader::loadPreview(*this, QStringLiteral("%1%2").arg(m_conn->quote(m_fields[size_t(field)].name), desc ? QStringLiteral(" DESC") : QString()));
        rebuildView();
    }
    if (m_open) {
        const int keep = m_cur >= 0 ? int(m_view[size_t(m_cur)]) : -1;
        sortView();
        setCursor(keep >= 0 ? m_viewPos[size_t(keep)] : (m_view.empty() ? -1 : 0), false);
        notifyReset();
    }
}

// ---- cursor ----------------------------------------------------------------

void Dataset::setCursor(int row, bool emitSignal)
{
    if (m_view.empty())
        row = -1;
    else
        row = std::clamp(row, 0, int(m_view.size()) - 1);
    const bool changed = row != m_cur;
    m_cur = row;
    m_bof = m_eof = m_view.empty();
    if (emitSignal && changed && !m_disabled)
        emit currentRowChanged(m_cur);
    else if (changed)
        m_changedWhileDisabled = true;
}

void Dataset::notifyReset()
{
    touch();
    if (m_disabled) {
        m_changedWhileDisabled = true;
        return;
    }
    emit layoutReset();
    emit currentRowChanged(m_cur);
}

void Dataset::first()
{
    post();
    setCursor(0);
    m_bof = true;
    m_eof = m_view.empty();
}

void Dataset::last()
{
    finishLoading();
    post();
    setCursor(int(m_view.size()) - 1);
    m_eof = true;
    m_bof = m_view.empty();
}

void Dataset::next()
{
    post();
    if (m_background && m_cur >= int(m_view.size()) - 1)
        finishLoading();
    if (m_view.empty() || m_cur >= int(m_view.size()) - 1) {
        m_eof = true;
        return;
    }
    setCursor(m_cur + 1);
    m_bof = false;
}

void Dataset::prior()
{
    post();
    if (m_view.empty() || m_cur <= 0) {
        m_bof = true;
        return;
    }
    setCursor(m_cur - 1);
    m_eof = false;
}

void Dataset::setCurrentRow(int row)
{
    if (row == m_cur)
        return;
    post();
    setCursor(row);
    m_bof = m_eof = m_view.empty();
}

Dataset::Bookmark Dataset::bookmark() const
{
    const_cast<Dataset *>(this)->finishLoading(); // a bookmark names a row of the whole table
    return m_cur >= 0 ? Bookmark(m_view[size_t(m_cur)]) : Bookmark(-1);
}

bool Dataset::bookmarkValid(Bookmark b) const
{
    return b >= 0 && b < m_rowCount && m_viewPos[size_t(b)] >= 0;
}

bool Dataset::gotoBookmark(Bookmark b)
{
    finishLoading();
    if (!bookmarkValid(b))
        return false;
    setCurrentRow(m_viewPos[size_t(b)]);
    return true;
}

bool Dataset::locate(const QString &column, const QVariant &value)
{
    finishLoading();
    const int f = requireField(column);
    for (size_t i = 0; i < m_view.size(); ++i) {
        if (cellEquals(int(m_view[i]), f, value)) {
            setCurrentRow(int(i));
            return true;
        }
    }
    return false;
}

int Dataset::rowOfStorage(int s) const
{
    if (s < 0 || s >= m_rowCount)
        return -1;
    return m_viewPos[size_t(s)];
}

Dataset::RowState Dataset::rowState(int row) const
{
    return RowState(m_rowState[m_view[size_t(row)]]);
}

// ---- values ----------------------------------------------------------------

int Dataset::lookupRow(const Field &f, int s) const
{
    Dataset *other = f.lookupDataset.data();
    if (!other || !other->isOpen())
        return -1;
    const int kf = fieldIndex(f.keyField);
    const int lk = other->fieldIndex(f.lookupKey);
    if (kf < 0 || lk < 0)
        return -1;
    const QVariant key = storageValue(s, kf);
    if (key.isNull())
        return -1;
    return other->findStorageRow(lk, key);
}

int Dataset::findStorageRow(int field, const QVariant &value) const
{
    const_cast<Dataset *>(this)->finishLoading();
    if (m_keyIndexStamp != m_stamp) {
        m_keyIndex.clear();
        m_keyIndexStamp = m_stamp;
    }
    auto it = m_keyIndex.find(field);
    if (it == m_keyIndex.end()) {
        QHash<QString, int> index;
        index.reserve(m_rowCount);
        for (int s = m_rowCount - 1; s >= 0; --s) {
            const RowState st = RowState(m_rowState[size_t(s)]);
            if (st == RowState::Deleted || st == RowState::Gone)
                continue;
            const QVariant v = storageValue(s, field);
            if (!v.isNull())
                index.insert(keyText(v), s); // earliest row wins
        }
        it = m_keyIndex.insert(field, index);
    }
    return it->value(keyText(value), -1);
}

QVariant Dataset::storageValue(int s, int field) const
{
    const Field &f = m_fields[size_t(field)];
    switch (f.kind) {
    case Field::Data: return m_columns[size_t(field)]->get(s);
    case Field::Lookup: {
        const int r = lookupRow(f, s);
        if (r < 0)
            return {};
        const int rf = f.lookupDataset->fieldIndex(f.lookupResult);
        return rf >= 0 ? f.lookupDataset->storageValue(r, rf) : QVariant();
    }
    case Field::Calculated: return f.calculate ? f.calculate(*this, s) : QVariant();
    }
    return {};
}

QVariant Dataset::storageValue(int s, const QString &column) const { return storageValue(s, requireField(column)); }

QVariant Dataset::valueAt(int row, int field) const { return storageValue(int(m_view[size_t(row)]), field); }

int Dataset::currentStorage() const
{
    if (m_cur < 0)
        throw DataError(QStringLiteral("没有当前记录。"), DataError::Usage);
    return int(m_view[size_t(m_cur)]);
}

QVariant Dataset::value(const QString &column) const
{
    const int f = requireField(column);
    if (m_cur < 0)
        return {};
    return storageValue(int(m_view[size_t(m_cur)]), f);
}

bool Dataset::isNull(const QString &column) const { return value(column).isNull(); }
QString Dataset::asString(const QString &column) const { return value(column).toString(); }
qint64 Dataset::asInt(const QString &column) const { return value(column).toLongLong(); }
double Dataset::asDouble(const QString &column) const { return value(column).toDouble(); }
QDateTime Dataset::asDateTime(const QString &column) const
{
    const QVariant v = value(column);
    return v.isNull() ? QDateTime() : v.toDateTime();
}
QDate Dataset::asDate(const QString &column) const { return asDateTime(column).date(); }

QVariant Dataset::coerce(const Field &f, const QVariant &v) const
{
    const bool null = !v.isValid() || v.isNull();
    if (null)
        return {};
    const QString label = f.label.isEmpty() ? f.name : f.label;
    switch (f.type) {
    case FieldType::Integer: {
        if (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty())
            return {};
        bool ok = false;
        const qint64 x = v.typeId() == QMetaType::QString ? v.toString().trimmed().toLongLong(&ok) : v.toLongLong(&ok);
        if (!ok)
            throw DataError(QStringLiteral("“%1”应为整数。").arg(label), DataError::Validation);
        return qlonglong(x);
    }
    case FieldType::Double: {
        if (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty())
            return {};
        bool ok = false;
        const double x = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
        if (!ok || !std::isfinite(x))
            throw DataError(QStringLiteral("“%1”应为数字。").arg(label), DataError::Validation);
        return x;
    }
    case FieldType::DateTime: {
        if (v.typeId() == QMetaType::QDate)
            return v.toDate().isValid() ? QVariant(QDateTime(v.toDate(), QTime(0, 0))) : QVariant();
        if (v.typeId() == QMetaType::QDateTime)
            return v.toDateTime().isValid() ? v : QVariant();
        const QString text = v.toString().trimmed();
        if (text.isEmpty())
            return {};
        QDateTime dt = Dialect::parseDateTime(text);
        if (!dt.isValid()) {
            const QDate d = QDate::fromString(text, QStringLiteral("yyyy/M/d"));
            if (d.isValid())
                dt = QDateTime(d, QTime(0, 0));
        }
        if (!dt.isValid())
            throw DataError(QStringLiteral("“%1”的日期格式错误。").arg(label), DataError::Validation);
        return dt;
    }
    case FieldType::Text: {
        const QString s = v.toString();
        if (f.width > 0 && s.size() > f.width)
            throw DataError(QStringLiteral("“%1”最多只能有 %2 个字符，现在有 %3 个。").arg(label).arg(f.width).arg(s.size()),
                            DataError::Validation);
        return s;
    }
    case FieldType::Blob: return v.toByteArray();
    case FieldType::Variant: return v;
    }
    return v;
}

void Dataset::writeCell(int s, int field, const QVariant &v)
{
    m_columns[size_t(field)]->set(s, v);
    touch();
}

std::vector<QVariant> Dataset::snapshotRow(int s) const
{
    std::vector<QVariant> out(m_fields.size());
    for (size_t f = 0; f < m_fields.size(); ++f)
        if (m_fields[f].kind == Field::Data)
            out[f] = m_columns[f]->get(s);
    return out;
}

void Dataset::restoreRow(int s, const std::vector<QVariant> &values)
{
    for (size_t f = 0; f < m_fields.size() && f < values.size(); ++f)
        if (m_fields[f].kind == Field::Data)
            m_columns[f]->set(s, values[f]);
    touch();
}

void Dataset::setValue(const QString &column, const QVariant &v)
{
    finishLoading();
    if (!m_open)
        throw DataError(QStringLiteral("数据集没有打开。"), DataError::Usage);
    if (m_readOnly)
        throw DataError(QStringLiteral("数据集是只读的。"), DataError::Usage);
    const int f = requireField(column);
    const Field &fd = m_fields[size_t(f)];
    if (fd.kind != Field::Data)
        throw DataError(QStringLiteral("字段“%1”是只读的。").arg(fd.name), DataError::Usage);
    const QVariant coerced = coerce(fd, v); // refuses before the edit starts
    const int s = currentStorage();
    if (m_editState == EditState::Browse)
        edit();
    writeCell(s, f, coerced);
    m_editTouched = true;
    if (!m_disabled)
        emit valueChanged(m_cur, f);
    else
        m_changedWhileDisabled = true;
}

void Dataset::edit()
{
    finishLoading();
    if (m_editState != EditState::Browse || m_cur < 0)
        return;
    if (m_readOnly)
        throw DataError(QStringLiteral("数据集是只读的。"), DataError::Usage);
    m_editSnapshot = snapshotRow(currentStorage());
    m_editTouched = false;
    m_editState = EditState::Edit;
    emit editStateChanged();
}

void Dataset::post()
{
    if (m_editState == EditState::Browse)
        return;
    if (m_editState == EditState::Edit && m_editTouched && m_cur >= 0) {
        const int s = currentStorage();
        if (RowState(m_rowState[size_t(s)]) == RowState::Unchanged) {
            bool differs = false;
            for (size_t f = 0; f < m_fields.size() && !differs; ++f)
                if (m_fields[f].kind == Field::Data && m_columns[f]->get(s) != m_editSnapshot[f])
                    differs = true;
            if (differs) {
                m_rowState[size_t(s)] = quint8(RowState::Modified);
                m_originals[s] = m_editSnapshot;
            }
        }
    }
    m_editState = EditState::Browse;
    m_editSnapshot.clear();
    m_editTouched = false;
    emit editStateChanged();
}

void Dataset::cancel()
{
    if (m_editState == EditState::Browse)
        return;
    const int s = currentStorage();
    if (m_editState == EditState::Edit) {
        restoreRow(s, m_editSnapshot);
        m_editState = EditState::Browse;
        m_editSnapshot.clear();
        m_editTouched = false;
        emit editStateChanged();
        if (!m_disabled)
            emit layoutReset();
        return;
    }
    // Cancelling an insert forgets the new row.
    m_editState = EditState::Browse;
    m_editSnapshot.clear();
    m_editTouched = false;
    m_rowState[size_t(s)] = quint8(RowState::Gone);
    const int row = m_cur;
    m_view.erase(m_view.begin() + row);
    sortView();
    touch();
    m_cur = -2; // force the signal
    if (!m_disabled)
        emit rowsRemoved(row, row);
    setCursor(row);
    emit editStateChanged();
}

void Dataset::append()
{
    finishLoading();
    if (!m_open)
        throw DataError(QStringLiteral("数据集没有打开。"), DataError::Usage);
    if (m_readOnly)
        throw DataError(QStringLiteral("数据集是只读的。"), DataError::Usage);
    post();
    const int s = m_rowCount++;
    for (size_t f = 0; f < m_fields.size(); ++f)
        if (m_columns[f])
            m_columns[f]->appendNull();
    m_rowState.push_back(quint8(RowState::Inserted));
    m_viewPos.push_back(-1);
    // A detail row belongs to the master's current row.
    if (m_master && !m_masterByParams && m_master->currentRow() >= 0) {
        for (int i = 0; i < m_keyFields.size(); ++i) {
            const int kf = fieldIndex(m_keyFields[i]);
            const int mf = m_master->fieldIndex(m_masterFields[i]);
            if (kf >= 0 && mf >= 0)
                m_columns[size_t(kf)]->set(s, coerce(m_fields[size_t(kf)], m_master->valueAt(m_master->currentRow(), mf)));
        }
    }
    m_view.push_back(quint32(s));
    m_viewPos[size_t(s)] = qint32(m_view.size() - 1);
    touch();
    const int row = int(m_view.size()) - 1;
    if (!m_disabled)
        emit rowsInserted(row, row);
    else
        m_changedWhileDisabled = true;
    setCursor(row);
    m_bof = m_eof = false;
    m_editState = EditState::Insert;
    m_editTouched = true;
    emit editStateChanged();
}

void Dataset::remove()
{
    finishLoading();
    if (m_readOnly)
        throw DataError(QStringLiteral("数据集是只读的。"), DataError::Usage);
    if (m_cur < 0)
        return;
    post();
    const int s = currentStorage();
    quint8 &st = m_rowState[size_t(s)];
    if (RowState(st) == RowState::Inserted) {
        st = quint8(RowState::Gone);
    } else {
        if (RowState(st) == RowState::Unchanged)
            m_originals[s] = snapshotRow(s);
        st = quint8(RowState::Deleted);
    }
    const int row = m_cur;
    m_view.erase(m_view.begin() + row);
    sortView();
    touch();
    if (!m_disabled)
        emit rowsRemoved(row, row);
    else
        m_changedWhileDisabled = true;
    m_cur = -2;
    setCursor(row);
}

// ---- pending changes -------------------------------------------------------

bool Dataset::hasPendingUpdates() const
{
    if (m_editState == EditState::Insert)
        return true;
    if (m_editState == EditState::Edit && m_editTouched)
        return true;
    return pendingCount() > 0;
}

int Dataset::pendingCount() const
{
    int n = 0;
    for (quint8 st : m_rowState) {
        const RowState r = RowState(st);
        if (r == RowState::Inserted || r == RowState::Modified || r == RowState::Deleted)
            ++n;
    }
    return n;
}

void Dataset::applyUpdates()
{
    finishLoading();
    post();
    m_applied = {};
    if (!m_conn || !m_conn->isOpen())
        throw DataError(QStringLiteral("数据库没有打开，无法保存。"));
    if (m_updateTable.isEmpty()) {
        if (pendingCount() == 0)
            return;
        throw DataError(QStringLiteral("数据集没有指定保存的表。"), DataError::Usage);
    }
    const Dialect &d = m_conn->dialect();
    const int keyField = fieldIndex(m_keyColumn);
    if (keyField < 0)
        throw DataError(QStringLiteral("数据集中没有主键字段“%1”。").arg(m_keyColumn), DataError::Usage);
    const QString table = d.quote(m_updateTable);
    const QString key = d.quote(m_fields[size_t(keyField)].name);
    m_prepared = std::make_unique<QHash<QString, QSqlQuery>>();
    QHash<QString, QSqlQuery> &prepared = *m_prepared;
    auto run = [&](const QString &sql, const QVariantList &values) -> QSqlQuery & {
        auto it = prepared.find(sql);
        if (it == prepared.end()) {
            QSqlQuery q(m_conn->database());
            q.setForwardOnly(true);
            if (!q.prepare(sql))
                throw DataError(Connection::lastErrorText(q));
            it = prepared.insert(sql, q);
        }
        for (int i = 0; i < values.size(); ++i)
            it->bindValue(i, d.toDb(values[i]));
        if (!it->exec())
            throw DataError(QStringLiteral("%1").arg(Connection::lastErrorText(*it)));
        return *it;
    };
    auto conflict = [&](int s) {
        return DataError(QStringLiteral("记录（%1 = %2）已被其他用户修改或删除，请刷新后再试。")
                             .arg(m_fields[size_t(keyField)].name, m_originals.count(s) ? m_originals[s][size_t(keyField)].toString()
                                                                                         : m_columns[size_t(keyField)]->get(s).toString()),
                         DataError::Conflict);
    };
    auto matchOriginal = [&](const Field &f, const QVariant &orig, QString &where, QVariantList &values) {
        const QString c = d.quote(f.name);
        if (orig.isNull()) {
            where += QStringLiteral(" AND %1 IS NULL").arg(c);
        } else if (f.type == FieldType::Double) {
            where += QStringLiteral(" AND abs(%1 - ?) <= 1e-9 * (1 + abs(%1))").arg(c);
            values << orig;
        } else {
            where += QStringLiteral(" AND %1 = ?").arg(c);
            values << orig;
        }
    };

    // Deletes first, then updates, then inserts.
    for (int s = 0; s < m_rowCount; ++s) {
        if (RowState(m_rowState[size_t(s)]) != RowState::Deleted)
            continue;
        const QVariant id = m_originals[s][size_t(keyField)];
        QSqlQuery &q = run(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table, key), {id});
        if (q.numRowsAffected() != 1)
            throw conflict(s);
    }
    for (int s = 0; s < m_rowCount; ++s) {
        if (RowState(m_rowState[size_t(s)]) != RowState::Modified)
            continue;
        const std::vector<QVariant> &orig = m_originals[s];
        QStringList sets;
        QVariantList values;
        QString where;
        QVariantList whereValues;
        for (size_t f = 0; f < m_fields.size(); ++f) {
            const Field &fd = m_fields[f];
            if (!fd.writable || int(f) == keyField)
                continue;
            const QVariant now = m_columns[f]->get(s);
            if (now == orig[f] && now.isNull() == orig[f].isNull())
                continue;
            sets << QStringLiteral("%1 = ?").arg(d.quote(fd.name));
            values << now;
            matchOriginal(fd, orig[f], where, whereValues);
        }
        if (sets.isEmpty())
            continue;
        values << orig[size_t(keyField)];
        values += whereValues;
        QSqlQuery &q = run(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?%4").arg(table, sets.join(QStringLiteral(", ")), key, where),
                           values);
        if (q.numRowsAffected() != 1)
            throw conflict(s);
    }
    for (int s = 0; s < m_rowCount; ++s) {
        if (RowState(m_rowState[size_t(s)]) != RowState::Inserted)
            continue;
        QStringList cols, marks;
        QVariantList values;
        const bool engineKey = m_fields[size_t(keyField)].autoNumber && m_columns[size_t(keyField)]->isNull(s);
        for (size_t f = 0; f < m_fields.size(); ++f) {
            const Field &fd = m_fields[f];
            if (!fd.writable || (int(f) == keyField && engineKey))
                continue;
            cols << d.quote(fd.name);
            marks << QStringLiteral("?");
            values << m_columns[f]->get(s);
        }
        QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        if (cols.isEmpty())
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        if (engineKey && !d.isSqlite())
            sql += QStringLiteral(" RETURNING %1").arg(key);
        QSqlQuery &q = run(sql, values);
        if (engineKey) {
            qint64 id = 0;
            if (d.isSqlite()) {
                id = q.lastInsertId().toLongLong();
            } else {
                if (!q.next())
                    throw DataError(QStringLiteral("数据库没有返回新记录的编号。"));
                id = q.value(0).toLongLong();
            }
            m_applied.newIds.emplace_back(s, id);
        }
    }
    m_applied.valid = true;
}

void Dataset::commitUpdates()
{
    finishLoading();
    m_prepared.reset();
    if (!m_applied.valid)
        return;
    const int keyField = fieldIndex(m_keyColumn);
    for (const auto &[s, id] : m_applied.newIds)
        m_columns[size_t(keyField)]->set(s, qlonglong(id));
    for (int s = 0; s < m_rowCount; ++s) {
        quint8 &st = m_rowState[size_t(s)];
        if (RowState(st) == RowState::Inserted || RowState(st) == RowState::Modified)
            st = quint8(RowState::Unchanged);
        else if (RowState(st) == RowState::Deleted)
            st = quint8(RowState::Gone);
    }
    m_originals.clear();
    m_applied = {};
    touch();
    if (!m_disabled) {
        emit layoutReset();
    } else {
        m_changedWhileDisabled = true;
    }
}

void Dataset::cancelUpdates()
{
    finishLoading();
    if (m_editState != EditState::Browse)
        cancel();
    const Bookmark keep = bookmark();
    for (int s = 0; s < m_rowCount; ++s) {
        quint8 &st = m_rowState[size_t(s)];
        if (RowState(st) == RowState::Inserted) {
            st = quint8(RowState::Gone);
        } else if (RowState(st) == RowState::Modified || RowState(st) == RowState::Deleted) {
            restoreRow(s, m_originals[s]);
            st = quint8(RowState::Unchanged);
        }
    }
    m_originals.clear();
    m_applied = {};
    rebuildView();
    int row = m_view.empty() ? -1 : 0;
    if (keep >= 0 && m_viewPos[size_t(keep)] >= 0)
        row = m_viewPos[size_t(keep)];
    setCursor(row, false);
    notifyReset();
}

// ---- master/detail ---------------------------------------------------------

void Dataset::setMasterByKeys(Dataset *master, const QStringList &keyFields, const QStringList &masterFields)
{
    finishLoading();
    detachMaster();
    if (keyFields.size() != masterFields.size() || keyFields.isEmpty())
        throw DataError(QStringLiteral("主从关联的字段数目不一致。"), DataError::Usage);
    m_master = master;
    m_keyFields = keyFields;
    m_masterFields = masterFields;
    m_masterByParams = false;
    m_masterConn = connect(master, &Dataset::currentRowChanged, this, &Dataset::onMasterScrolled);
    if (m_open) {
        rebuildView();
        setCursor(m_view.empty() ? -1 : 0, false);
        notifyReset();
    }
}

void Dataset::setMasterByParams(Dataset *master)
{
    finishLoading();
    detachMaster();
    m_master = master;
    m_masterByParams = true;
    m_masterConn = connect(master, &Dataset::currentRowChanged, this, &Dataset::onMasterScrolled);
    if (master->isOpen())
        onMasterScrolled();
}

void Dataset::detachMaster()
{
    if (m_masterConn)
        disconnect(m_masterConn);
    m_masterConn = {};
    const bool hadKeys = m_master && !m_masterByParams;
    m_master = nullptr;
    m_keyFields.clear();
    m_masterFields.clear();
    m_masterByParams = false;
    if (hadKeys && m_open) {
        const Bookmark keep = bookmark();
        rebuildView();
        setCursor(keep >= 0 && m_viewPos[size_t(keep)] >= 0 ? m_viewPos[size_t(keep)] : (m_view.empty() ? -1 : 0), false);
        notifyReset();
    }
}

void Dataset::onMasterScrolled()
{
    if (!m_master)
        return;
    if (m_masterByParams) {
        const QString sql = m_table.isEmpty() ? m_sql : QString();
        const int mcur = m_master->currentRow();
        for (const QString &name : placeholderNames(sql)) {
            const int mf = m_master->fieldIndex(name);
            if (mf >= 0)
                setParam(name, mcur >= 0 ? m_master->valueAt(mcur, mf) : QVariant());
        }
        if (m_open)
            requery();
        else
            open();
        if (m_open && m_cur != 0 && !m_view.empty())
            setCurrentRow(0);
        return;
    }
    if (!m_open)
        return;
    post();
    rebuildView();
    setCursor(m_view.empty() ? -1 : 0, false);
    notifyReset();
}

// ---- notifications ---------------------------------------------------------

void Dataset::disableControls()
{
    // A routine walking the rows needs all of them.
    finishLoading();
    ++m_disabled;
}

void Dataset::enableControls()
{
    if (m_disabled == 0)
        return;
    if (--m_disabled == 0 && m_changedWhileDisabled) {
        m_changedWhileDisabled = false;
        emit layoutReset();
        emit currentRowChanged(m_cur);
    }
}

// ---------------------------------------------------------------------------

DatasetStateGuard::DatasetStateGuard(Dataset &ds)
    : m_ds(ds), m_filterText(ds.filterText()), m_filtered(ds.isFiltered()), m_bookmark(ds.bookmark()), m_filter(ds.filter())
{
    m_ds.disableControls();
}

DatasetStateGuard::~DatasetStateGuard()
{
    try {
        m_ds.applyFilterState(m_filter, m_filterText, m_filtered);
        m_ds.gotoBookmark(m_bookmark);
    } catch (...) {
    }
    m_ds.enableControls();
}
