// One copy per register: a second start brings the first one forward and ends.
#include "app/singlecopy.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestAppSingleCopy : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString dbPath() const { return m_dir.filePath(QStringLiteral("Zentrav.db")); }

private slots:
    void secondGuardOnTheSameRegisterIsRefused()
    {
        const QString key = SingleCopy::keyFor(ConnectionParams::sqlite(dbPath()));
        SingleCopy first(key);
        QCOMPARE(first.acquire(), SingleCopy::First);
        {
            SingleCopy second(key);
            QCOMPARE(second.acquire(), SingleCopy::RunningElsewhere);
        }
        // Another register is another copy.
        SingleCopy other(SingleCopy::keyFor(ConnectionParams::sqlite(m_dir.filePath(QStringLiteral("Other.db")))));
        QCOMPARE(other.acquire(), SingleCopy::First);
    }

    void lockOfACopyThatDiedIsTakenOver()
    {
        const QString key = SingleCopy::keyFor(ConnectionParams::sqlite(m_dir.filePath(QStringLiteral("Died.db"))));
        SingleCopy probe(key);
        // A lock file as QLockFile writes it, naming a process that no longer runs.
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForFinished());
        const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
        QFile f(probe.lockPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray::number(deadPid) + "\nzentrav\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        f.close();
        QCOMPARE(probe.acquire(), SingleCopy::First);
    }

    void secondStartRaisesTheRunningCopy()
    {
        const QString bin = qEnvironmentVariable("ZENTRAV_BIN_DIR");
        const QString exe = QDir(bin).filePath(QStringLiteral("zentrav"));
        if (bin.isEmpty() || !QFile::exists(exe))
            QSKIP("the zentrav executable is not built beside the tests (ZENTRAV_BIN_DIR)");

        SingleCopy running(SingleCopy::keyFor(ConnectionParams::sqlite(dbPath())));
        QCOMPARE(running.acquire(), SingleCopy::First);
        QSignalSpy raised(&running, &SingleCopy::raiseRequested);

        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(env);
        second.start(exe, {QStringLiteral("--db"), dbPath()});
        QVERIFY(second.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 30000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(raised.count(), 1);
        // It opened nothing: the register was not even created.
        QVERIFY(!QFile::exists(dbPath()));
    }
};

QTEST_MAIN(TestAppSingleCopy)
#include "tst_app_singlecopy.moc"
