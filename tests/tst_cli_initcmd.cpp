#include "data/connection.h"
#include "data/schema.h"
#include "support/testdb.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// zentrav-cli init, run as a user would run it.
class CliInitTest : public QObject {
    Q_OBJECT
private:
    struct Run {
        int code;
        QString out, err;
    };
    static Run cli(const QStringList &args)
    {
        QProcess p;
        p.start(qEnvironmentVariable("ZENTRAV_BIN_DIR") + QStringLiteral("/zentrav-cli"), args);
        if (!p.waitForFinished(60000))
            return {-1, {}, QStringLiteral("timeout")};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    static QByteArray digest(const QString &path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(qEnvironmentVariable("ZENTRAV_BIN_DIR") + QStringLiteral("/zentrav-cli")),
                 "zentrav-cli must be built before this suite runs");
    }

    void createsThenKeepsARegister()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new.db"));
        Run r = cli({QStringLiteral("init"), QStringLiteral("--db"), path});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        {
            Connection c;
            c.open(ConnectionParams::sqlite(path), Connection::NoFlags);
            QCOMPARE(Schema::inspect(c), Schema::State::Zentrav);
            QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM Staffer WHERE Code='Admin' AND czqx=3")).toInt(), 1);
            c.exec(QStringLiteral("INSERT INTO Units (Name) VALUES ('台')"));
        }
        r = cli({QStringLiteral("init"), QStringLiteral("--db"), path}); // a second init keeps the data
        QVERIFY2(r.code == 0, qPrintable(r.err));
        Connection c;
        c.open(ConnectionParams::sqlite(path), Connection::NoFlags);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM Units")).toInt(), 1);
    }

    void refusesWhatIsNotOurs_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("sqlite");
        QTest::newRow("text file") << QByteArray("just some notes\n") << false;
        QTest::newRow("another program's database") << QByteArray() << true;
    }
    void refusesWhatIsNotOurs()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, sqlite);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("other.db"));
        if (sqlite) {
            Connection c;
            c.open(ConnectionParams::sqlite(path));
            c.exec(QStringLiteral("CREATE TABLE orders (id INTEGER)"));
            c.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const QByteArray before = digest(path);
        const Run r = cli({QStringLiteral("init"), QStringLiteral("--db"), path});
        QVERIFY(r.code != 0);
        QVERIFY2(r.err.contains(QStringLiteral("不是 Zentrav 数据库")), qPrintable(r.err));
        QCOMPARE(digest(path), before);
    }

    void badArguments()
    {
        for (const QStringList &args : {QStringList{QStringLiteral("init")}, QStringList{QStringLiteral("init"), QStringLiteral("--bogus")},
                                        QStringList{QStringLiteral("nosuchcommand")}}) {
            const Run r = cli(args);
            QVERIFY(r.code != 0);
            QVERIFY(!r.err.isEmpty());
        }
    }

    void initOnPostgreSQL()
    {
        if (!TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG not set: PostgreSQL half skipped");
        TestDb empty(Engine::PostgreSQL, false);
        const ConnectionParams p = empty.params();
        const QString conninfo = QStringLiteral("host=%1 port=%2 dbname=%3 user=%4").arg(p.host).arg(p.port).arg(p.database, p.user);
        const Run r = cli({QStringLiteral("init"), QStringLiteral("--pg"), conninfo});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(Schema::inspect(empty.conn()), Schema::State::Zentrav);
        QCOMPARE(empty.conn().scalar(QStringLiteral("SELECT count(*) FROM PopedomItem")).toInt(), 4);
    }
};

QTEST_GUILESS_MAIN(CliInitTest)
#include "tst_cli_initcmd.moc"
