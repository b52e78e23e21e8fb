#include "support/testdb.h"
#include "data/errors.h"
#include "data/schema.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QTest>

Q_DECLARE_METATYPE(Engine)

namespace {
QAtomicInt g_seq;
}

bool TestDb::pgAvailable() { return !qEnvironmentVariable("ZENTRAV_TEST_PG").isEmpty(); }

ConnectionParams TestDb::pgAdminParams() { return ConnectionParams::fromPgString(qEnvironmentVariable("ZENTRAV_TEST_PG")); }

TestDb::TestDb(Engine engine, bool withSchema)
{
    if (engine == Engine::SQLite) {
        m_params = ConnectionParams::sqlite(m_dir.filePath(QStringLiteral("Zentrav.db")));
    } else {
        const ConnectionParams admin = pgAdminParams();
        m_pgDatabase = QStringLiteral("zt_%1_%2").arg(QCoreApplication::applicationPid()).arg(g_seq.fetchAndAddRelaxed(1));
        Connection adminConn;
        adminConn.open(admin);
        adminConn.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_pgDatabase));
        adminConn.exec(QStringLiteral("CREATE DATABASE %1").arg(m_pgDatabase));
        m_params = admin;
        m_params.database = m_pgDatabase;
    }
    m_conn = std::make_unique<Connection>();
    m_conn->open(m_params);
    if (withSchema)
        Schema::create(*m_conn);
}

TestDb::~TestDb()
{
    m_conn.reset();
    if (!m_pgDatabase.isEmpty()) {
        try {
            Connection adminConn;
            adminConn.open(pgAdminParams());
            adminConn.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_pgDatabase));
        } catch (const DataError &e) {
            qWarning("could not drop test database: %s", qPrintable(e.message()));
        }
    }
}

std::unique_ptr<Connection> TestDb::openAnother() const
{
    auto c = std::make_unique<Connection>();
    c->open(m_params);
    return c;
}

void TestDb::addEngineRows()
{
    QTest::addColumn<Engine>("engine");
    QTest::newRow("sqlite") << Engine::SQLite;
    QTest::newRow("postgresql") << Engine::PostgreSQL;
}

Engine TestDb::currentEngine()
{
    const Engine e = *static_cast<const Engine *>(QTest::qGlobalData("engine", qMetaTypeId<Engine>()));
    return e;
}

QStringList TestDb::cliArgs() const
{
    if (m_params.engine == Engine::SQLite)
        return {QStringLiteral("--db"), m_params.sqlitePath};
    return {QStringLiteral("--pg"), QStringLiteral("host=%1 port=%2 dbname=%3 user=%4")
                                        .arg(m_params.host).arg(m_params.port).arg(m_params.database, m_params.user)};
}
