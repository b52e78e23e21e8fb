#include "data/connection.h"
#include "data/errors.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <sqlite3.h>
#include <libpq-fe.h>

namespace {
QAtomicInt g_counter;
Connection *g_current = nullptr;

// The first bytes of every SQLite 3 database file.
bool looksLikeSqlite(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(16);
    return head == QByteArray("SQLite format 3\0", 16);
}
// SQLite's reason for refusing a file, in words a user can act on; the
// engine's own text stays beside it.
QString sqliteReason(const QString &engineText)
{
    if (engineText.contains(QLatin1String("database is locked")))
        return QStringLiteral("数据库文件正被其他程序锁定，请稍后再试（%1）").arg(engineText);
    if (engineText.contains(QLatin1String("malformed")))
        return QStringLiteral("数据库文件已损坏（%1）").arg(engineText);
    if (engineText.contains(QLatin1String("not a database")))
        return QStringLiteral("该文件不是 Zentrav 数据库（%1）").arg(engineText);
    return engineText;
}
} // namespace

Connection::Connection()
    : m_name(QStringLiteral("zentrav-%1").arg(g_counter.fetchAndAddRelaxed(1)))
{
}

Connection::~Connection()
{
    close();
    if (g_current == this)
        g_current = nullptr;
}

Connection *Connection::current() { return g_current; }
void Connection::setCurrent(Connection *conn) { g_current = conn; }

QSqlDatabase Connection::database() const { return QSqlDatabase::database(m_name, false); }

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && database().isOpen();
}

void Connection::open(const ConnectionParams &params, int flags)
{
    close();
    m_params = params;
    m_dialect = Dialect(params.engine);

    if (params.engine == Engine::SQLite) {
        const QFileInfo fi(params.sqlitePath);
        if (params.sqlitePath.isEmpty())
            throw DataError(QStringLiteral("没有指定数据库文件。"));
        if (!fi.absoluteDir().exists())
            throw DataError(QStringLiteral("数据库文件所在的文件夹不存在：%1").arg(QDir::toNativeSeparators(fi.absolutePath())));
        if (fi.exists()) {
            if (fi.isDir())
                throw DataError(QStringLiteral("数据库路径是一个文件夹，不是数据库文件：%1").arg(QDir::toNativeSeparators(fi.absoluteFilePath())));
            if (!fi.isReadable())
                throw DataError(QStringLiteral("无法读取数据库文件：%1").arg(QDir::toNativeSeparators(fi.absoluteFilePath())));
            if (fi.size() > 0 && !looksLikeSqlite(fi.absoluteFilePath()))
                throw DataError(QStringLiteral("该文件不是 Zentrav 数据库：%1").arg(QDir::toNativeSeparators(fi.absoluteFilePath())));
            if (!fi.isWritable())
                throw DataError(QStringLiteral("数据库文件是只读的，无法写入：%1").arg(QDir::toNativeSeparators(fi.absoluteFilePath())));
            if (!QFileInfo(fi.absolutePath()).isWritable())
                throw DataError(QStringLiteral("数据库文件所在的文件夹不可写：%1").arg(QDir::toNativeSeparators(fi.absolutePath())));
        } else if (!(flags & CreateIfMissing)) {
            throw DataError(QStringLiteral("数据库文件不存在：%1").arg(QDir::toNativeSeparators(fi.absoluteFilePath())));
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
            db.setDatabaseName(fi.absoluteFilePath());
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            if (!db.open()) {
                const QString reason = db.lastError().text();
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(m_name);
                throw DataError(QStringLiteral("无法打开数据库 %1：%2").arg(params.describe(), reason));
            }
        }
        try {
            // The header check above catches most foreign files; this read catches the rest
            // (a truncated or damaged file) before anything is written.
            scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"));
            exec(QStringLiteral("PRAGMA foreign_keys=ON"));
            exec(QStringLiteral("PRAGMA synchronous=FULL"));
            // Large sorts (the detail lists order a whole ledger) may use a second core.
            exec(QStringLiteral("PRAGMA threads=2"));
            // journal_mode=WAL is written into the file, so it is set only once
            // the file is known to be ours (Schema::ensure / Schema::create).
        } catch (const DataError &e) {
            close();
            throw DataError(QStringLiteral("无法打开数据库 %1：%2").arg(params.describe(), sqliteReason(e.message())));
        }
    } else {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
            db.setHostName(params.host);
            db.setPort(params.port);
            db.setDatabaseName(params.database);
            db.setUserName(params.user);
            db.setPassword(params.password);
            QString opts = params.options;
            if (!opts.contains(QLatin1String("connect_timeout")))
                opts += (opts.isEmpty() ? QString() : QStringLiteral(";")) + QStringLiteral("connect_timeout=5");
            db.setConnectOptions(opts);
            if (!db.open()) {
                const QString reason = db.lastError().text();
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(m_name);
                throw DataError(QStringLiteral("无法连接数据库服务器 %1：%2").arg(params.describe(), reason));
            }
        }
        exec(QStringLiteral("SET datestyle TO ISO, YMD"));
        exec(QStringLiteral("SET client_min_messages TO WARNING"));
    }
}

void Connection::close()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) {
            if (m_inTransaction)
                db.rollback();
            db.close();
        }
    }
    m_inTransaction = false;
    QSqlDatabase::removeDatabase(m_name);
}

QString Connection::lastErrorText(const QSqlQuery &q)
{
    const QSqlError err = q.lastError();
    QString text = err.databaseText();
    if (text.isEmpty())
        text = err.text();
    return text.trimmed();
}

QSqlQuery Connection::prepareAndRun(const QString &sql, const QVariantMap *named, const QVariantList *positional)
{
    if (!isOpen())
        throw DataError(QStringLiteral("数据库没有打开。"));
    QSqlQuery q(database());
    q.setForwardOnly(true);
    const bool hasParams = (named && !named->isEmpty()) || (positional && !positional->isEmpty());
    if (!hasParams) {
        if (!q.exec(sql))
            throw DataError(lastErrorText(q));
        return q;
    }
    if (!q.prepare(sql))
        throw DataError(lastErrorText(q));
    if (named) {
        for (auto it = named->cbegin(); it != named->cend(); ++it) {
            const QString key = it.key().startsWith(QLatin1Char(':')) ? it.key() : QLatin1Char(':') + it.key();
            q.bindValue(key, m_dialect.toDb(it.value()));
        }
    }
    if (positional) {
        for (int i = 0; i < positional->size(); ++i)
            q.bindValue(i, m_dialect.toDb(positional->at(i)));
    }
    if (!q.exec())
        throw DataError(lastErrorText(q));
    return q;
}

int Connection::exec(const QString &sql, const QVariantMap &params)
{
    QSqlQuery q = prepareAndRun(sql, &params, nullptr);
    return q.numRowsAffected();
}

int Connection::exec(const QString &sql, const QVariantList &params)
{
    QSqlQuery q = prepareAndRun(sql, nullptr, &params);
    return q.numRowsAffected();
}

QSqlQuery Connection::query(const QString &sql, const QVariantMap &params)
{
    return prepareAndRun(sql, &params, nullptr);
}

QSqlQuery Connection::query(const QString &sql, const QVariantList &params)
{
    return prepareAndRun(sql, nullptr, &params);
}

QVariant Connection::scalar(const QString &sql, const QVariantMap &params)
{
    QSqlQuery q = query(sql, params);
    return q.next() ? q.value(0) : QVariant();
}

QVariant Connection::scalar(const QString &sql, const QVariantList &params)
{
    QSqlQuery q = query(sql, params);
    return q.next() ? q.value(0) : QVariant();
}

void Connection::begin()
{
    if (m_inTransaction)
        throw DataError(QStringLiteral("事务已经开始。"), DataError::Usage);
    // SQLite: take the write lock at once, so two writers queue up on the
    // busy timeout instead of failing half-way through.
    exec(engine() == Engine::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    m_inTransaction = true;
}

void Connection::commit()
{
    if (!m_inTransaction)
        throw DataError(QStringLiteral("没有正在进行的事务。"), DataError::Usage);
    try {
        exec(QStringLiteral("COMMIT"));
    } catch (...) {
        // A failed COMMIT leaves the transaction open on SQLite (busy) and
        // aborted on PostgreSQL: end it either way so nothing half-done stays.
        try {
            exec(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
        m_inTransaction = false;
        throw;
    }
    m_inTransaction = false;
}

void Connection::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    exec(QStringLiteral("ROLLBACK"));
}

void Connection::useWriteAheadLog()
{
    if (engine() != Engine::SQLite)
        return;
    QSqlQuery q = query(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!q.next() || q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        throw DataError(QStringLiteral("无法把数据库切换到 WAL 日志模式：%1").arg(m_params.describe()));
}

bool Connection::tableExists(const QString &table)
{
    if (engine() == Engine::SQLite)
        return scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND lower(name)=lower(?)"),
                      QVariantList{table}).toInt() > 0;
    return scalar(QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema=current_schema() AND table_name=lower(?)"),
                  QVariantList{table}).toInt() > 0;
}

QStringList Connection::tables()
{
    QStringList out;
    QSqlQuery q = engine() == Engine::SQLite
        ? query(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name"))
        : query(QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema=current_schema() ORDER BY table_name"));
    while (q.next())
        out << q.value(0).toString();
    return out;
}

sqlite3 *Connection::sqliteHandle() const
{
    if (engine() != Engine::SQLite || !isOpen())
        return nullptr;
    const QVariant v = database().driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(v.constData());
    return nullptr;
}

pg_conn *Connection::pgHandle() const
{
    if (engine() != Engine::PostgreSQL || !isOpen())
        return nullptr;
    const QVariant v = database().driver()->handle();
    if (v.isValid() && (qstrcmp(v.typeName(), "PGconn*") == 0 || qstrcmp(v.typeName(), "pg_conn*") == 0))
        return *static_cast<pg_conn *const *>(v.constData());
    return nullptr;
}

namespace {
// A value in COPY's text form: \N for null, backslash, tab and line breaks escaped.
void appendCopyValue(QByteArray &out, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        out += "\\N";
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool: out += v.toBool() ? '1' : '0'; return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: out += QByteArray::number(v.toLongLong()); return;
    case QMetaType::Double:
    case QMetaType::Float: out += QByteArray::number(v.toDouble(), 'g', 17); return;
    default: break;
    }
    const QByteArray text = v.toString().toUtf8();
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}
} // namespace

void Connection::copyRows(const QString &table, const QStringList &columns, qint64 count,
                          const std::function<void(qint64, QVariantList &)> &fill)
{
    pg_conn *pg = pgHandle();
    if (!pg)
        throw DataError(QStringLiteral("只有 PostgreSQL 数据库能成批写入。"), DataError::Usage);
    QStringList quoted;
    for (const QString &c : columns)
        quoted << quote(c);
    const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN").arg(quote(table), quoted.join(QLatin1Char(','))).toUtf8();
    PGresult *res = PQexec(pg, sql.constData());
    const bool copying = PQresultStatus(res) == PGRES_COPY_IN;
    PQclear(res);
    if (!copying)
        throw DataError(QString::fromUtf8(PQerrorMessage(pg)).trimmed());
    // The server's answer to the end of the COPY; the first failure wins.
    auto finish = [pg](const char *cancel) {
        QString failure;
        if (PQputCopyEnd(pg, cancel) != 1)
            failure = QString::fromUtf8(PQerrorMessage(pg)).trimmed();
        while (PGresult *r = PQgetResult(pg)) {
            if (PQresultStatus(r) != PGRES_COMMAND_OK && failure.isEmpty())
                failure = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
            PQclear(r);
        }
        return failure;
    };
    QByteArray buf;
    QVariantList values;
    try {
        for (qint64 i = 0; i < count; ++i) {
            values.clear();
            fill(i, values);
            for (qsizetype k = 0; k < values.size(); ++k) {
                if (k)
                    buf += '\t';
                appendCopyValue(buf, values[k]);
            }
            buf += '\n';
            if (buf.size() >= (1 << 20) || i + 1 == count) {
                if (PQputCopyData(pg, buf.constData(), int(buf.size())) != 1)
                    throw DataError(QString::fromUtf8(PQerrorMessage(pg)).trimmed());
                buf.clear();
            }
        }
    } catch (...) {
        finish("cancelled");
        throw;
    }
    const QString failure = finish(nullptr);
    if (!failure.isEmpty())
        throw DataError(failure);
}
