#include "data/connection.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The synthetic register the benchmarks use.
class CliGenerateTest : public QObject {
    Q_OBJECT
private:
    static int cli(const QStringList &args)
    {
        QProcess p;
        p.start(qEnvironmentVariable("ZENTRAV_BIN_DIR") + QStringLiteral("/zentrav-cli"), args);
        p.waitForFinished(120000);
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    static QByteArray digest(Connection &c)
    {
        QCryptographicHash h(QCryptographicHash::Sha256);
        for (const char *t : {"Asset", "Asset_Add", "Asset_Move", "Asset_Move_Item", "Asset_Loan", "Asset_Service", "Asset_Discard", "Staffer"}) {
            QSqlQuery q = c.query(QStringLiteral("SELECT * FROM %1 ORDER BY Id").arg(QLatin1String(t)));
            while (q.next())
                for (int i = 0; i < 8; ++i)
                    h.addData(q.value(i).toString().toUtf8());
        }
        return h.result();
    }

private slots:
    void sameSeedSameRegister()
    {
        QTemporaryDir dir;
        QByteArray digests[3];
        const char *seeds[] = {"5", "5", "6"};
        for (int i = 0; i < 3; ++i) {
            const QString path = dir.filePath(QStringLiteral("g%1.db").arg(i));
            QCOMPARE(cli({QStringLiteral("generate"), QStringLiteral("--db"), path, QStringLiteral("--items"), QStringLiteral("3000"),
                          QStringLiteral("--bills"), QStringLiteral("1500"), QStringLiteral("--seed"), QString::fromLatin1(seeds[i])}),
                     0);
            Connection c;
            c.open(ConnectionParams::sqlite(path), Connection::NoFlags);
            digests[i] = digest(c);
            QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM Asset")).toInt(), 3000);
            // Every item state and every kind of bill in more than one state.
            QCOMPARE(c.scalar(QStringLiteral("SELECT count(DISTINCT State) FROM Asset")).toInt(), 5);
            for (const char *t : {"Asset_Add", "Asset_Move", "Asset_Discard"})
                QCOMPARE(c.scalar(QStringLiteral("SELECT count(DISTINCT State) FROM %1").arg(QLatin1String(t))).toInt(), 2);
            for (const char *t : {"Asset_Loan", "Asset_Service"})
                QVERIFY(c.scalar(QStringLiteral("SELECT count(DISTINCT State) FROM %1").arg(QLatin1String(t))).toInt() >= 3);
            // Bill codes never repeat within a table; item codes never repeat.
            for (const char *t : {"Asset_Add", "Asset_Move", "Asset_Loan", "Asset_Service", "Asset_Discard", "Asset"})
                QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) - count(DISTINCT Code) FROM %1").arg(QLatin1String(t))).toInt(), 0);
            // Every transfer line belongs to a transfer.
            QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM Asset_Move_Item WHERE MoveId NOT IN (SELECT Id FROM Asset_Move)")).toInt(), 0);
        }
        QCOMPARE(digests[0], digests[1]);
        QVERIFY(digests[0] != digests[2]);
    }

    void refusesToOverwriteOrBadArguments()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("g.db"));
        QCOMPARE(cli({QStringLiteral("generate"), QStringLiteral("--db"), path, QStringLiteral("--items"), QStringLiteral("10")}), 0);
        QVERIFY(cli({QStringLiteral("generate"), QStringLiteral("--db"), path, QStringLiteral("--items"), QStringLiteral("10")}) != 0);
        QVERIFY(cli({QStringLiteral("generate"), QStringLiteral("--db"), dir.filePath(QStringLiteral("h.db")), QStringLiteral("--items"), QStringLiteral("x")}) != 0);
        QVERIFY(cli({QStringLiteral("generate"), QStringLiteral("--items"), QStringLiteral("10")}) != 0);
    }
};

QTEST_GUILESS_MAIN(CliGenerateTest)
#include "tst_cli_generate.moc"
