#pragma once
#include "data/connection.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

// A fresh register for one test: a SQLite file in a temporary folder, or a
// new database on the PostgreSQL test server named by ZENTRAV_TEST_PG.
class TestDb {
public:
    explicit TestDb(Engine engine, bool withSchema = true);
    ~TestDb();

    Connection &conn() { return *m_conn; }
    const ConnectionParams &params() const { return m_params; }
    // Another connection to the same register, as a second user would have.
    std::unique_ptr<Connection> openAnother() const;
    QString folder() const { return m_dir.path(); }
    // The zentrav-cli arguments naming this register: --db FILE or --pg "…".
    QStringList cliArgs() const;

    static bool pgAvailable();
    static ConnectionParams pgAdminParams();
    // For initTestCase_data(): one row per engine, column "engine".
    static void addEngineRows();
    // In init(): the engine of the current row. The suite's init() skips the
    // PostgreSQL row itself (QSKIP) when pgAvailable() is false.
    static Engine currentEngine();

private:
    QTemporaryDir m_dir;
    ConnectionParams m_params;
    QString m_pgDatabase;
    std::unique_ptr<Connection> m_conn;
};
