#include "bills/billframe.h"
#include "bills/billwindows.h"
#include "common/prompter.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "support/testdb.h"

#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

Q_DECLARE_METATYPE(Engine)

// Several users on one register: zentrav-cli processes racing each other on
// one SQLite file or one PostgreSQL database, and two bill windows on two
// connections. Nothing one user saved is overwritten by another, no tally
// applies twice, no bill or item code repeats.
class ConcurrencyTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestDb> db;
    int processesRun = 0;
    Connection &c() { return db->conn(); }

    QProcess *start(const QStringList &args)
    {
        auto *p = new QProcess(this);
        p->start(qEnvironmentVariable("ZENTRAV_BIN_DIR") + QStringLiteral("/zentrav-cli"), args + db->cliArgs());
        ++processesRun;
        return p;
    }
    struct Run {
        int code;
        QString out, err;
    };
    static Run finish(QProcess *p)
    {
        p->waitForFinished(120000);
        Run r{p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1, QString::fromUtf8(p->readAllStandardOutput()),
              QString::fromUtf8(p->readAllStandardError())};
        p->deleteLater();
        return r;
    }
    // Starts every command at once and waits for all of them.
    std::vector<Run> together(const std::vector<QStringList> &commands)
    {
        std::vector<QProcess *> procs;
        for (const QStringList &a : commands)
            procs.push_back(start(a));
        std::vector<Run> runs;
        for (QProcess *p : procs)
            runs.push_back(finish(p));
        return runs;
    }
    static QStringList tallyArgs(BillKind kind, qint64 id)
    {
        static const char *names[] = {"acquisition", "transfer", "writeoff", "loan", "loan-return", "repair", "repair-completion"};
        return {QStringLiteral("tally"), QString::fromLatin1(names[int(kind)]), QString::number(id), QStringLiteral("--user"), QStringLiteral("Admin")};
    }
    qint64 lastId(const QString &table) { return c().scalar(QStringLiteral("SELECT max(Id) FROM %1").arg(table)).toLongLong(); }
    qint64 item(const QString &code)
    {
        c().exec(QStringLiteral("INSERT INTO Asset (Code, Type, Name, State, Department, keeper) VALUES (?, '0001', '电脑', 0, '原部门', '原保管')"),
                 QVariantList{code});
        return lastId(QStringLiteral("Asset"));
    }
    // An untallied bill of `kind` naming one item, as its window would save it.
    qint64 bill(BillKind kind, qint64 assetId, const QString &code)
    {
        const QDateTime day(QDate(2024, 3, 15), QTime(0, 0));
        switch (kind) {
        case BillKind::Loan:
            c().exec(QStringLiteral("INSERT INTO Asset_Loan (Code, AssetId, LoanDate, Loaner, LoanDept, State) VALUES (?,?,?,'李四','借用部门',0)"),
                     QVariantList{code, assetId, day});
            return lastId(QStringLiteral("Asset_Loan"));
        case BillKind::WriteOff:
            c().exec(QStringLiteral("INSERT INTO Asset_Discard (Code, AssetId, DecDate, DecType, Cause, State) VALUES (?,?,?,'报废','损坏',0)"),
                     QVariantList{code, assetId, day});
            return lastId(QStringLiteral("Asset_Discard"));
        case BillKind::Repair:
            c().exec(QStringLiteral("INSERT INTO Asset_Service (Code, AssetId, ServiceDate, State) VALUES (?,?,?,0)"), QVariantList{code, assetId, day});
            return lastId(QStringLiteral("Asset_Service"));
        case BillKind::Transfer: {
            const qint64 id = lastId(QStringLiteral("Asset_Move")) + 1;
            c().exec(QStringLiteral("INSERT INTO Asset_Move (Id, Code, ToDept, State) VALUES (?,?,'调入部门',0)"), QVariantList{id, code});
            c().exec(QStringLiteral("INSERT INTO Asset_Move_Item (MoveId, AssetId, keeper) VALUES (?,?,'新保管')"), QVariantList{id, assetId});
            return id;
        }
        default:
            qFatal("no such one-item bill");
        }
    }
    static int stateAfter(BillKind kind)
    {
        switch (kind) {
        case BillKind::Loan: return 2;
        case BillKind::WriteOff: return 4;
        case BillKind::Repair: return 3;
        default: return 1;
        }
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
    void cleanupTestCase() { qInfo("%d zentrav-cli processes run against each other", processesRun); }

    // Two users tally two different bills naming the same item at the same
    // moment: exactly one tally applies; the other is refused naming the item.
    void sameItemThroughTwoBills_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("loan, loan") << int(BillKind::Loan) << int(BillKind::Loan);
        QTest::newRow("loan, write-off") << int(BillKind::Loan) << int(BillKind::WriteOff);
        QTest::newRow("repair, write-off") << int(BillKind::Repair) << int(BillKind::WriteOff);
        QTest::newRow("loan, repair") << int(BillKind::Loan) << int(BillKind::Repair);
        QTest::newRow("write-off, write-off") << int(BillKind::WriteOff) << int(BillKind::WriteOff);
    }
    void sameItemThroughTwoBills()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        const BillKind kinds[2] = {BillKind(first), BillKind(second)};
        int wins[2] = {0, 0};
        for (int round = 0; round < 6; ++round) {
            const QString code = QStringLiteral("A%1").arg(round);
            const qint64 asset = item(code);
            qint64 bills[2];
            for (int i = 0; i < 2; ++i)
                bills[i] = bill(kinds[i], asset, QStringLiteral("2024031%1%2").arg(round).arg(i));
            // Alternate the starting order so either may come first.
            const int a = round % 2, b = 1 - a;
            std::vector<Run> runs = together({tallyArgs(kinds[a], bills[a]), tallyArgs(kinds[b], bills[b])});
            std::swap(runs[0], runs[a]); // runs[i] is now the run of bills[i]
            const int winner = runs[0].code == 0 ? 0 : 1, loser = 1 - winner;
            QVERIFY2(runs[winner].code == 0, qPrintable(runs[0].err + runs[1].err));
            QCOMPARE(runs[loser].code, 1);
            QVERIFY2(runs[loser].err.contains(QStringLiteral("物品%1已借出、在维修或已销账，不可登帐！").arg(code)), qPrintable(runs[loser].err));
            ++wins[winner];
            QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM Asset WHERE Id=?"), QVariantList{asset}).toInt(), stateAfter(kinds[winner]));
            QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM %1 WHERE Id=?").arg(billTable(kinds[winner])), QVariantList{bills[winner]}).toInt(), 1);
            QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM %1 WHERE Id=?").arg(billTable(kinds[loser])), QVariantList{bills[loser]}).toInt(), 0);
        }
        qInfo("first bill won %d times, second %d times", wins[0], wins[1]);
    }

    // A user saves a bill that another user changed, deleted or tallied since
    // the window read it: "保存失败！", the change stays pending in the window,
    // the other user's work stays in the register. A change of another column
    // of the row goes through and keeps the other user's change.
    void staleSave_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("refused");
        QTest::newRow("same column changed") << "UPDATE Asset_Discard SET Cause='乙的原因' WHERE Id=?" << true;
        QTest::newRow("bill deleted") << "DELETE FROM Asset_Discard WHERE Id=?" << true;
        QTest::newRow("bill tallied") << "UPDATE Asset_Discard SET State=1 WHERE Id=?" << true;
        QTest::newRow("another column changed") << "UPDATE Asset_Discard SET Manager='乙' WHERE Id=?" << false;
    }
    void staleSave()
    {
        QFETCH(QString, other);
        QFETCH(bool, refused);
        const qint64 asset = item(QStringLiteral("S1"));
        const qint64 id = bill(BillKind::WriteOff, asset, QStringLiteral("2024031501"));
        ScopedScriptedPrompter p;
        WriteOffBillWindow w(&c());
        w.frame()->setToday(QDate(2024, 3, 31));
        w.show();
        QVERIFY(w.list()->locate(QStringLiteral("Id"), id));

        auto second = db->openAnother();
        second->exec(other, QVariantList{id});
        w.list()->setValue(QStringLiteral("Cause"), QStringLiteral("甲的原因"));
        QTest::mouseClick(w.frame()->saveButton(), Qt::LeftButton);
        if (refused) {
            QCOMPARE(p->texts(), QStringList{QStringLiteral("保存失败！")});
            QVERIFY(w.list()->hasPendingUpdates());
            QCOMPARE(w.list()->asString(QStringLiteral("Cause")), QStringLiteral("甲的原因"));
            QVERIFY(c().scalar(QStringLiteral("SELECT count(*) FROM Asset_Discard WHERE Cause='甲的原因'")).toInt() == 0);
        } else {
            QVERIFY2(p->shown.empty(), qPrintable(p->texts().join(',')));
            QVERIFY(!w.list()->hasPendingUpdates());
            QCOMPARE(c().scalar(QStringLiteral("SELECT Cause || '/' || Manager FROM Asset_Discard WHERE Id=?"), QVariantList{id}).toString(),
                     QStringLiteral("甲的原因/乙"));
        }
        // Whatever happened, the ledger is as the other user left it.
        QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM Asset WHERE Id=?"), QVariantList{asset}).toInt(), 0);
    }

    // A bill deleted in a window after another user tallied it: the delete
    // is refused and the tallied bill stays, with its ledger effect.
    void deleteOfABillTalliedMeanwhile()
    {
        const qint64 asset = item(QStringLiteral("D1"));
        const qint64 id = bill(BillKind::WriteOff, asset, QStringLiteral("2024031501"));
        ScopedScriptedPrompter p;
        WriteOffBillWindow w(&c());
        w.frame()->setToday(QDate(2024, 3, 31));
        w.show();
        QVERIFY(w.list()->locate(QStringLiteral("Id"), id));
        auto second = db->openAnother();
        QVERIFY(tallyBill(*second, BillKind::WriteOff, id).ok);
        QTest::mouseClick(w.frame()->deleteButton(), Qt::LeftButton);
        QVERIFY(p->shown.empty()); // the window still shows the bill untallied
        QTest::mouseClick(w.frame()->saveButton(), Qt::LeftButton);
        QCOMPARE(p->texts(), QStringList{QStringLiteral("保存失败！")});
        QVERIFY(w.list()->hasPendingUpdates());
        QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM Asset_Discard WHERE Id=?"), QVariantList{id}).toInt(), 1);
        QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM Asset WHERE Id=?"), QVariantList{asset}).toInt(), 4);
    }

    // A line added to a transfer bill that another user tallied meanwhile
    // never joins the tallied bill.
    void lineForABillTalliedMeanwhile()
    {
        const qint64 a1 = item(QStringLiteral("L1")), a2 = item(QStringLiteral("L2"));
        const qint64 move = bill(BillKind::Transfer, a1, QStringLiteral("2024031501"));
        ScopedScriptedPrompter p;
        TransferBillWindow w(&c());
        w.frame()->setToday(QDate(2024, 3, 31));
        w.show();
        QVERIFY(w.list()->locate(QStringLiteral("Id"), move));
        QCOMPARE(w.lines()->recordCount(), 1);

        auto second = db->openAnother();
        QVERIFY(tallyBill(*second, BillKind::Transfer, move).ok);
        w.pickAsset = [a2] { return std::optional<qint64>(a2); };
        QTest::mouseClick(w.addLineButton(), Qt::LeftButton);
        QCOMPARE(w.lines()->recordCount(), 2);
        QTest::mouseClick(w.frame()->saveButton(), Qt::LeftButton);
        QCOMPARE(p->texts(), QStringList{QStringLiteral("保存失败！")});
        QVERIFY(w.lines()->hasPendingUpdates());
        QCOMPARE(c().scalar(QStringLiteral("SELECT count(*) FROM Asset_Move_Item WHERE MoveId=?"), QVariantList{move}).toInt(), 1);
        QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM Asset WHERE Id=?"), QVariantList{a2}).toInt(), 0);
    }

    // Several users append bills at the same moment: every bill is saved and
    // no code repeats within the table. First through processes, then through
    // two windows that were both offered the same code.
    void billCodesNeverRepeat()
    {
        const int processes = 4, perProcess = 3, rounds = 4;
        for (int round = 0; round < rounds; ++round) {
            std::vector<QStringList> commands;
            for (int i = 0; i < processes; ++i)
                commands.push_back({QStringLiteral("save-bill"), QStringLiteral("--bills"), QString::number(perProcess), QStringLiteral("--lines"),
                                    QStringLiteral("2"), QStringLiteral("--date"), QStringLiteral("2024-03-15"), QStringLiteral("--summary"),
                                    QStringLiteral("r%1p%2").arg(round).arg(i)});
            for (const Run &r : together(commands))
                QVERIFY2(r.code == 0, qPrintable(r.err));
        }
        QCOMPARE(c().scalar(QStringLiteral("SELECT count(*) FROM Asset_Move")).toInt(), processes * perProcess * rounds);
        QCOMPARE(c().scalar(QStringLiteral("SELECT count(DISTINCT Code) FROM Asset_Move")).toInt(), processes * perProcess * rounds);
        QCOMPARE(c().scalar(QStringLiteral("SELECT count(*) FROM Asset_Move_Item")).toInt(), processes * perProcess * rounds * 2);
        QCOMPARE(c().scalar(QStringLiteral("SELECT max(Code) FROM Asset_Move")).toString(),
                 QStringLiteral("20240315%1").arg(processes * perProcess * rounds, 2, 10, QLatin1Char('0')));

        ScopedScriptedPrompter p;
        auto second = db->openAnother();
        LoanBillWindow w1(&c()), w2(second.get());
        for (LoanBillWindow *w : {&w1, &w2}) {
            w->frame()->setToday(QDate(2024, 3, 20));
            w->show();
            QTest::mouseClick(w->frame()->appendButton(), Qt::LeftButton);
        }
        QCOMPARE(w1.list()->asString(QStringLiteral("Code")), QStringLiteral("2024032001"));
        QCOMPARE(w2.list()->asString(QStringLiteral("Code")), QStringLiteral("2024032001"));
        QTest::mouseClick(w1.frame()->saveButton(), Qt::LeftButton);
        QTest::mouseClick(w2.frame()->saveButton(), Qt::LeftButton);
        QVERIFY2(p->shown.empty(), qPrintable(p->texts().join(',')));
        // The second save took the next free code and its window shows it.
        QCOMPARE(w2.list()->asString(QStringLiteral("Code")), QStringLiteral("2024032002"));
        QVERIFY(!w2.list()->hasPendingUpdates());
        QSqlQuery q = c().query(QStringLiteral("SELECT Code FROM Asset_Loan ORDER BY Code"));
        QStringList codes;
        while (q.next())
            codes << q.value(0).toString();
        QCOMPARE(codes, (QStringList{"2024032001", "2024032002"}));
    }

    // Acquisitions of one category tallied at the same moment number their
    // items without ever handing out a code twice.
    void itemCodesOfConcurrentAcquisitions()
    {
        const int processes = 4, units = 40, rounds = 3;
        for (int round = 0; round < rounds; ++round) {
            std::vector<QStringList> commands;
            for (int i = 0; i < processes; ++i) {
                c().exec(QStringLiteral("INSERT INTO Asset_Add (Code, Type, Name, AddNumber, State) VALUES (?, '0001', '桌子', ?, 0)"),
                         QVariantList{QStringLiteral("20240315%1").arg(round * processes + i + 1, 2, 10, QLatin1Char('0')), units});
                commands.push_back(tallyArgs(BillKind::Acquisition, lastId(QStringLiteral("Asset_Add"))));
            }
            for (const Run &r : together(commands))
                QVERIFY2(r.code == 0, qPrintable(r.err));
        }
        QCOMPARE(c().scalar(QStringLiteral("SELECT count(*) FROM Asset")).toInt(), processes * units * rounds);
        QCOMPARE(c().scalar(QStringLiteral("SELECT count(DISTINCT Code) FROM Asset")).toInt(), processes * units * rounds);
    }
};

QTEST_MAIN(ConcurrencyTest)
#include "tst_cli_concurrency.moc"
