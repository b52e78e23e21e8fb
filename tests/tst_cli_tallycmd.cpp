#include "data/connection.h"
#include "support/testdb.h"

#include <QProcess>
#include <QTest>

Q_DECLARE_METATYPE(Engine)

// zentrav-cli tally: the window's tally without a window, and two of them at once.
class CliTallyTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestDb> db;

    QStringList target() const { return db->cliArgs(); }
    QProcess *start(const QStringList &args)
    {
        auto *p = new QProcess(this);
        p->start(qEnvironmentVariable("ZENTRAV_BIN_DIR") + QStringLiteral("/zentrav-cli"), args);
        return p;
    }
    struct Run {
        int code;
        QString err;
    };
    Run finish(QProcess *p)
    {
        p->waitForFinished(60000);
        Run r{p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1, QString::fromUtf8(p->readAllStandardError())};
        p->deleteLater();
        return r;
    }
    Run cli(const QStringList &args) { return finish(start(args)); }
    qint64 acquisitionBill(int number)
    {
        db->conn().exec(QStringLiteral("INSERT INTO Asset_Add (Code, Type, Name, AddNumber, State) VALUES ('2024031501','0001','椅子',?,0)"),
                        QVariantList{number});
        return db->conn().scalar(QStringLiteral("SELECT max(Id) FROM Asset_Add")).toLongLong();
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

    void tallyOnceThenRefuse()
    {
        const QString id = QString::number(acquisitionBill(3));
        Run r = cli(QStringList{QStringLiteral("tally"), QStringLiteral("acquisition"), id, QStringLiteral("--user"), QStringLiteral("Admin")} + target());
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(db->conn().scalar(QStringLiteral("SELECT count(*) FROM Asset")).toInt(), 3);
        r = cli(QStringList{QStringLiteral("tally"), QStringLiteral("acquisition"), id, QStringLiteral("--user"), QStringLiteral("Admin")} + target());
        QVERIFY(r.code != 0);
        QVERIFY2(r.err.contains(QStringLiteral("单据已登帐，不可再次登帐！")), qPrintable(r.err));
        QCOMPARE(db->conn().scalar(QStringLiteral("SELECT count(*) FROM Asset")).toInt(), 3);
    }

    void badRequests_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown user") << QStringList{"tally", "acquisition", "1", "--user", "nobody"} << "nobody";
        QTest::newRow("unknown kind") << QStringList{"tally", "purchase", "1", "--user", "Admin"} << "KIND";
        QTest::newRow("no such bill") << QStringList{"tally", "loan", "999", "--user", "Admin"} << "单据不存在";
        QTest::newRow("refused by the bill") << QStringList{"tally", "acquisition", "ZERO", "--user", "Admin"} << "增加数量为0，不可登帐！";
    }
    void badRequests()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const QString zero = QString::number(acquisitionBill(0));
        args.replaceInStrings(QStringLiteral("ZERO"), zero);
        const Run r = cli(args + target());
        QVERIFY(r.code != 0);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QCOMPARE(db->conn().scalar(QStringLiteral("SELECT count(*) FROM Asset")).toInt(), 0);
    }

    // Several users tally the same bill at the same moment: exactly one applies.
    void concurrentTalliesOfOneBill()
    {
        for (int round = 0; round < 5; ++round) {
            const QString id = QString::number(acquisitionBill(20));
            std::vector<QProcess *> procs;
            for (int i = 0; i < 3; ++i)
                procs.push_back(start(QStringList{QStringLiteral("tally"), QStringLiteral("acquisition"), id, QStringLiteral("--user"), QStringLiteral("Admin")} + target()));
            int ok = 0, refused = 0;
            for (QProcess *p : procs) {
                const Run r = finish(p);
                if (r.code == 0)
                    ++ok;
                else if (r.err.contains(QStringLiteral("单据已登帐，不可再次登帐！")))
                    ++refused;
                else
                    QFAIL(qPrintable(r.err));
            }
            QCOMPARE(ok, 1);
            QCOMPARE(refused, 2);
            QCOMPARE(db->conn().scalar(QStringLiteral("SELECT count(*) FROM Asset WHERE Add_Id = ?"), QVariantList{id.toLongLong()}).toInt(), 20);
        }
        QCOMPARE(db->conn().scalar(QStringLiteral("SELECT count(DISTINCT Code) FROM Asset")).toInt(), 100);
    }
};

QTEST_GUILESS_MAIN(CliTallyTest)
#include "tst_cli_tallycmd.moc"
