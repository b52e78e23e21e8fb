#include "data/connection.h"
#include "support/testdb.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <csignal>

Q_DECLARE_METATYPE(Engine)

// A process killed (SIGKILL) at a random moment while it tallies: every bill
// is either untallied with the ledger untouched, or tallied with all of its
// items; the register opens cleanly afterwards.
class CrashSafetyTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestDb> db;

    QStringList target() const { return db->cliArgs(); }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
    }
    void cleanup() { db.reset(); }

    void killedTallies()
    {
        const int rounds = qEnvironmentVariableIntValue("ZENTRAV_CRASH_ROUNDS") > 0 ? qEnvironmentVariableIntValue("ZENTRAV_CRASH_ROUNDS") : 120;
        QRandomGenerator rng(20261211);
        Connection &c = db->conn();
        int killedMidway = 0, finished = 0, tallied = 0;
        // Kill points spread over the whole life of a tally process, measured
        // once here (starting, opening, writing, committing) and a little past it.
        qint64 lifeMs = 0;
        for (int round = 0; round < rounds; ++round) {
            const int units = 200 + int(rng.bounded(2000));
            c.exec(QStringLiteral("INSERT INTO Asset_Add (Code, Type, Name, AddNumber, State) VALUES (?, '0001', '桌子', ?, 0)"),
                   QVariantList{QStringLiteral("20240315%1").arg(round, 2, 10, QLatin1Char('0')), units});
            const qint64 bill = c.scalar(QStringLiteral("SELECT max(Id) FROM Asset_Add")).toLongLong();
            QProcess p;
            p.start(qEnvironmentVariable("ZENTRAV_BIN_DIR") + QStringLiteral("/zentrav-cli"),
                    QStringList{QStringLiteral("tally"), QStringLiteral("acquisition"), QString::number(bill), QStringLiteral("--user"),
                                QStringLiteral("Admin")} + target());
            QVERIFY(p.waitForStarted());
            if (round == 0) {
                QElapsedTimer t;
                t.start();
                p.waitForFinished(60000);
                lifeMs = std::max<qint64>(t.elapsed(), 20);
            } else {
                QThread::msleep(rng.bounded(quint32(lifeMs * 6 / 5)));
            }
            if (p.state() == QProcess::Running) {
                ::kill(pid_t(p.processId()), SIGKILL);
                ++killedMidway;
            } else {
                ++finished;
            }
            p.waitForFinished(30000);

            if (c.engine() == Engine::PostgreSQL) {
                // The server may still be finishing (committing or rolling back)
                // the killed client's transaction: wait until its backend is gone.
                for (int i = 0; i < 200; ++i) {
                    if (c.scalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                                                "AND pid <> pg_backend_pid()")).toInt() == 0)
                        break;
                    QThread::msleep(50);
                }
            }
            // Bill and items read in one statement: one snapshot.
            QSqlQuery q = c.query(QStringLiteral("SELECT State, (SELECT count(*) FROM Asset WHERE Add_Id = ?) FROM Asset_Add WHERE Id = ?"),
                                  QVariantList{bill, bill});
            QVERIFY(q.next());
            const int state = q.value(0).toInt();
            const int items = q.value(1).toInt();
            if (state == 0) {
                QCOMPARE(items, 0);
            } else {
                QCOMPARE(items, units);
                ++tallied;
            }
        }
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) - count(DISTINCT Code) FROM Asset")).toInt(), 0);
        if (c.engine() == Engine::SQLite)
            QCOMPARE(c.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        qInfo("%d rounds (a tally lives about %lld ms): %d killed while running, %d had finished; %d bills tallied in all",
              rounds, lifeMs, killedMidway, finished, tallied);
        QVERIFY(killedMidway > 0);
        QVERIFY(tallied > 0);
    }
};

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "tst_cli_crashsafety.moc"
