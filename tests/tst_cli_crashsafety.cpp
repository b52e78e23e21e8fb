#include "data/connection.h"
#include "data/schema.h"
#include "support/testdb.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <csignal>

Q_DECLARE_METATYPE(Engine)

// A process killed (SIGKILL) at a random moment while it saves or tallies:
// every bill is either absent, or whole and untallied with the ledger
// untouched, or tallied with all of its effects; the register opens cleanly
// afterwards. ZENTRAV_CRASH_ROUNDS sets the tally rounds (120),
// ZENTRAV_CRASH_SAVE_ROUNDS the save and transfer-tally rounds (240).
class CrashSafetyTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestDb> db;

    QStringList target() const { return db->cliArgs(); }

    static int rounds(const char *variable, int fallback)
    {
        const int n = qEnvironmentVariableIntValue(variable);
        return n > 0 ? n : fallback;
    }

    // Starts zentrav-cli and kills it (SIGKILL) after a random wait within
    // 1.2 times `lifeMs`; with lifeMs 0 it runs to its end and lifeMs is
    // measured. True when the process was still running at the kill.
    bool runAndKill(const QStringList &args, qint64 &lifeMs, QRandomGenerator &rng)
    {
        QProcess p;
        p.start(qEnvironmentVariable("ZENTRAV_BIN_DIR") + QStringLiteral("/zentrav-cli"), args + target());
        if (!p.waitForStarted())
            qFatal("zentrav-cli did not start");
        bool killed = false;
        if (lifeMs == 0) {
            QElapsedTimer t;
            t.start();
            p.waitForFinished(60000);
            lifeMs = std::max<qint64>(t.elapsed(), 20);
            if (p.exitCode() != 0)
                qWarning("%s", p.readAllStandardError().constData());
        } else {
            QThread::msleep(rng.bounded(quint32(lifeMs * 6 / 5)));
            if (p.state() == QProcess::Running) {
                ::kill(pid_t(p.processId()), SIGKILL);
                killed = true;
            }
        }
        p.waitForFinished(30000);
        settle();
        return killed;
    }

    // PostgreSQL may still be finishing (committing or rolling back) the
    // killed client's transaction: wait until its backend is gone.
    void settle()
    {
        Connection &c = db->conn();
        if (c.engine() != Engine::PostgreSQL)
            return;
        for (int i = 0; i < 200; ++i) {
            if (c.scalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                                        "AND pid <> pg_backend_pid()")).toInt() == 0)
                return;
            QThread::msleep(50);
        }
    }

    // After the kills: the file passes SQLite's own check and opens again as
    // a register; no line lost its bill and no bill code repeats.
    void registerIsWhole()
    {
        Connection &c = db->conn();
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM Asset_Move_Item WHERE MoveId NOT IN (SELECT Id FROM Asset_Move)")).toInt(), 0);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) - count(DISTINCT Code) FROM Asset_Move")).toInt(), 0);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) - count(DISTINCT Code) FROM Asset")).toInt(), 0);
        if (c.engine() == Engine::SQLite) {
            QCOMPARE(c.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            QVERIFY(!c.query(QStringLiteral("PRAGMA foreign_key_check")).next());
        }
        Connection again;
        again.open(db->params(), Connection::NoFlags);
        Schema::ensure(again);
        QCOMPARE(again.scalar(QStringLiteral("SELECT count(*) FROM Staffer WHERE Code = 'Admin'")).toInt(), 1);
    }

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
        registerIsWhole();
    }

    // Saves of new transfer bills (several bills of several lines in one
    // transaction, through the window's save path) and tallies of transfer
    // bills, each killed at a random moment.
    void killedSavesAndTransferTallies()
    {
        const int total = rounds("ZENTRAV_CRASH_SAVE_ROUNDS", 240);
        QRandomGenerator rng(20261212);
        Connection &c = db->conn();
        // Items the saved bills' lines name; the saves never touch them.
        QStringList pool;
        for (int i = 0; i < 6; ++i) {
            c.exec(QStringLiteral("INSERT INTO Asset (Code, Type, Name, State, Department) VALUES (?, '0001', '椅子', 0, '库房')"),
                   QVariantList{QStringLiteral("P%1").arg(i)});
            pool << c.scalar(QStringLiteral("SELECT max(Id) FROM Asset")).toString();
        }
        const auto ledger = [&c] {
            QStringList rows;
            QSqlQuery q = c.query(QStringLiteral("SELECT Id, State, Department, keeper, Place FROM Asset WHERE Code LIKE 'P%' ORDER BY Id"));
            while (q.next())
                rows << QStringLiteral("%1|%2|%3|%4|%5").arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                                             q.value(3).toString(), q.value(4).toString());
            return rows;
        };
        const QStringList poolBefore = ledger();

        qint64 saveLife = 0, tallyLife = 0;
        int saveKills = 0, saveRuns = 0, billsSaved = 0, tallyKills = 0, tallyRuns = 0, tallied = 0;
        for (int round = 0; round < total; ++round) {
            if (round % 3 != 2) {
                // A save of 1..3 bills with 1..8 lines each: all of them or none.
                const int bills = 1 + int(rng.bounded(3)), lines = 1 + int(rng.bounded(8));
                const QString tag = QStringLiteral("round %1").arg(round);
                ++saveRuns;
                saveKills += runAndKill({QStringLiteral("save-bill"), QStringLiteral("--bills"), QString::number(bills), QStringLiteral("--lines"),
                                         QString::number(lines), QStringLiteral("--items"), pool.join(QLatin1Char(',')),
                                         QStringLiteral("--date"), QStringLiteral("2024-03-15"), QStringLiteral("--summary"), tag},
                                        saveLife, rng);
                QSqlQuery q = c.query(QStringLiteral("SELECT M.State, (SELECT count(*) FROM Asset_Move_Item I WHERE I.MoveId = M.Id) "
                                                     "FROM Asset_Move M WHERE M.Summary = ?"),
                                      QVariantList{tag});
                int found = 0;
                while (q.next()) {
                    ++found;
                    QCOMPARE(q.value(0).toInt(), 0);
                    QCOMPARE(q.value(1).toInt(), lines);
                }
                QVERIFY2(found == 0 || found == bills, qPrintable(QStringLiteral("%1: %2 of %3 bills").arg(tag).arg(found).arg(bills)));
                billsSaved += found;
            } else {
                // A tally of a whole transfer bill over items of its own.
                const int lines = 1 + int(rng.bounded(6));
                const qint64 move = 1000000 + round;
                c.exec(QStringLiteral("INSERT INTO Asset_Move (Id, Code, ToDept, State) VALUES (?, ?, '新部门', 0)"),
                       QVariantList{move, QStringLiteral("T%1").arg(round)});
                for (int l = 0; l < lines; ++l) {
                    c.exec(QStringLiteral("INSERT INTO Asset (Code, Type, Name, State, Department, Place) VALUES (?, '0002', '柜子', 0, '旧部门', '旧处')"),
                           QVariantList{QStringLiteral("T%1-%2").arg(round).arg(l)});
                    c.exec(QStringLiteral("INSERT INTO Asset_Move_Item (MoveId, AssetId, Place, keeper) VALUES (?, ?, ?, '新保管')"),
                           QVariantList{move, c.scalar(QStringLiteral("SELECT max(Id) FROM Asset")), QStringLiteral("新处%1").arg(l)});
                }
                ++tallyRuns;
                tallyKills += runAndKill({QStringLiteral("tally"), QStringLiteral("transfer"), QString::number(move), QStringLiteral("--user"),
                                          QStringLiteral("Admin")},
                                         tallyLife, rng);
                // Bill and items in one statement: one snapshot.
                QSqlQuery q = c.query(QStringLiteral("SELECT M.State, "
                                                     "(SELECT count(*) FROM Asset A JOIN Asset_Move_Item I ON I.AssetId = A.Id WHERE I.MoveId = M.Id "
                                                     " AND A.State = 1 AND A.Department = '新部门' AND A.keeper = '新保管' AND A.Place = I.Place), "
                                                     "(SELECT count(*) FROM Asset A JOIN Asset_Move_Item I ON I.AssetId = A.Id WHERE I.MoveId = M.Id "
                                                     " AND A.State = 0 AND A.Department = '旧部门' AND A.Place = '旧处') "
                                                     "FROM Asset_Move M WHERE M.Id = ?"),
                                      QVariantList{move});
                QVERIFY(q.next());
                const int state = q.value(0).toInt();
                QCOMPARE(state == 1 ? q.value(1).toInt() : q.value(2).toInt(), lines);
                tallied += state == 1;
            }
        }
        QCOMPARE(ledger(), poolBefore);
        registerIsWhole();
        qInfo("%d save runs (a save lives about %lld ms): %d killed while running, %d bills saved whole; "
              "%d transfer tallies (about %lld ms): %d killed while running, %d tallied",
              saveRuns, saveLife, saveKills, billsSaved, tallyRuns, tallyLife, tallyKills, tallied);
        QVERIFY(saveKills > 0);
        QVERIFY(billsSaved > 0);
        QVERIFY(tallyKills > 0);
    }
};

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "tst_cli_crashsafety.moc"
