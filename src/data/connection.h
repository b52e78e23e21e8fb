#pragma once
#include <functional>
#include "data/dialect.h"
#include "data/settings.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

struct sqlite3;
struct pg_conn;

// One database connection. The program keeps one for the whole process
// (Connection::current()); tests and the command-line tool may open more.
// Every failure is raised as a DataError carrying the reason.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    enum OpenFlag { NoFlags = 0, CreateIfMissing = 1 };

    // Opens the engine named by `params`. A SQLite file that is not a
    // database, a read-only file or a missing folder are refused before
    // anything is written.
    void open(const ConnectionParams &params, int flags = CreateIfMissing);
    void close();
    bool isOpen() const;

    const ConnectionParams &params() const { return m_params; }
    const Dialect &dialect() const { return m_dialect; }
    Engine engine() const { return m_dialect.engine(); }
    QSqlDatabase database() const;
    QString quote(const QString &identifier) const { return m_dialect.quote(identifier); }

    // Transactions. begin() inside a transaction is a usage error; the
    // Transaction guard below rolls back on any exit that did not commit.
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }

    // Runs a statement with values bound by name (":name") or by position ("?").
    // Returns the number of rows affected.
    int exec(const QString &sql, const QVariantMap &params = {});
    int exec(const QString &sql, const QVariantList &params);
    // Runs a statement and returns the executed query, positioned before the first row.
    QSqlQuery query(const QString &sql, const QVariantMap &params = {});
    QSqlQuery query(const QString &sql, const QVariantList &params);
    // The first column of the first row, or an invalid QVariant when there is none.
    QVariant scalar(const QString &sql, const QVariantMap &params = {});
    QVariant scalar(const QString &sql, const QVariantList &params);

    // SQLite: switch the file to write-ahead logging (kept in the file).
    void useWriteAheadLog();

    bool tableExists(const QString &table);
    QStringList tables();

    // The engine's native handle, for bulk reads (nullptr on the other engine).
    sqlite3 *sqliteHandle() const;
    pg_conn *pgHandle() const;

    // PostgreSQL: writes `count` rows into `table` through one COPY, in the
    // transaction under way; `fill(i, values)` gives row i's values in the
    // order of `columns` (dates as canonical text, as Dialect::toDb gives
    // them). Many rows go in far quicker than by INSERT statements. Throws
    // DataError when the server refuses a row; nothing of the COPY is kept.
    void copyRows(const QString &table, const QStringList &columns, qint64 count,
                  const std::function<void(qint64, QVariantList &)> &fill);

    // The process-wide connection the windows share.
    static Connection *current();
    static void setCurrent(Connection *conn);

    static QString lastErrorText(const QSqlQuery &q);

private:
    QSqlQuery prepareAndRun(const QString &sql, const QVariantMap *named, const QVariantList *positional);

    QString m_name;
    ConnectionParams m_params;
    Dialect m_dialect;
    bool m_inTransaction = false;
};

class Transaction {
public:
    explicit Transaction(Connection &conn) : m_conn(conn) { m_conn.begin(); }
    ~Transaction()
    {
        if (!m_done) {
            try {
                m_conn.rollback();
            } catch (...) {
            }
        }
    }
    void commit()
    {
        m_conn.commit();
        m_done = true;
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

private:
    Connection &m_conn;
    bool m_done = false;
};
