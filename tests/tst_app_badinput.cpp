// A register file the program cannot use — locked by another program,
// truncated, damaged, not a database, missing — and report templates beside
// the executable that are not valid: each is refused with a message that
// says why, and nothing is written to the file.
#include "app/mainwindow.h"
#include "common/prompter.h"
#include "data/connection.h"
#include "data/schema.h"
#include "data/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class AppBadInputTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_bin; // a copy of zentrav-cli with its own templates folder beside it
    QString m_cli;

    struct Snapshot {
        QByteArray bytes;
        QDateTime modified;
        QStringList files;
        bool operator==(const Snapshot &o) const { return bytes == o.bytes && modified == o.modified && files == o.files; }
    };
    static Snapshot snapshot(const QString &path)
    {
        Snapshot s;
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            s.bytes = f.readAll();
        s.modified = QFileInfo(path).lastModified();
        s.files = QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        return s;
    }
    static void makeRegister(const QString &path)
    {
        Connection c;
        c.open(ConnectionParams::sqlite(path));
        Schema::create(c);
        for (int i = 0; i < 300; ++i)
            c.exec(QStringLiteral("INSERT INTO Asset (Code, Name, Type, State) VALUES (?, '电脑', '0001', 1)"), QVariantList{QStringLiteral("C%1").arg(i)});
        c.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    struct Run {
        int code;
        QString err;
    };
    Run cli(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(60000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        const QString built = qEnvironmentVariable("ZENTRAV_BIN_DIR") + QStringLiteral("/zentrav-cli");
        QVERIFY2(QFile::exists(built), "ZENTRAV_BIN_DIR names no zentrav-cli");
        m_cli = m_bin.filePath(QStringLiteral("zentrav-cli"));
        QVERIFY(QFile::copy(built, m_cli));
        QVERIFY(QDir(m_bin.path()).mkdir(QStringLiteral("templates")));
    }

    void registerFileRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("locked by another program") << "locked" << "正被其他程序锁定";
        QTest::newRow("truncated") << "truncated" << "已损坏";
        QTest::newRow("header, then garbage") << "garbage-after-header" << "已损坏";
        QTest::newRow("random bytes") << "random" << "不是 Zentrav 数据库";
        QTest::newRow("a text file") << "text" << "不是 Zentrav 数据库";
    }
    void registerFileRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Zentrav.db"));
        QProcess holder;
        QRandomGenerator rng(4711);
        if (kind == QLatin1String("text") || kind == QLatin1String("random")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (kind == QLatin1String("text"))
                f.write("Zentrav 数据库的备份说明\n");
            else
                for (int i = 0; i < 8192; ++i)
                    f.putChar(char(rng.bounded(256)));
        } else {
            makeRegister(path);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (kind == QLatin1String("truncated")) {
                QVERIFY(f.resize(f.size() / 3));
            } else if (kind == QLatin1String("garbage-after-header")) {
                QByteArray bytes = f.readAll();
                for (qsizetype i = 100; i < bytes.size(); ++i)
                    bytes[i] = char(rng.bounded(256));
                f.seek(0);
                f.write(bytes);
            } else {
                f.close();
                // Another program holds the file with an exclusive lock until it is told to stop.
                holder.start(QStringLiteral("sqlite3"), {path});
                if (!holder.waitForStarted())
                    QSKIP("the sqlite3 shell is not installed");
                holder.write("PRAGMA locking_mode=EXCLUSIVE;\nBEGIN EXCLUSIVE;\nSELECT 'locked';\n");
                QByteArray said;
                while (!said.contains("locked") && holder.waitForReadyRead(10000))
                    said += holder.readAllStandardOutput();
                QVERIFY2(said.contains("locked"), said.constData());
            }
        }
        const Snapshot before = snapshot(path);

        // The program: the reason in a message titled "错误"; it runs on without a register.
        {
            ScopedScriptedPrompter p;
            MainWindow w(Settings::forDatabase(path));
            QVERIFY(!w.connectDatabase());
            QCOMPARE(p->shown.size(), size_t(1));
            QCOMPARE(p->shown[0].title, QStringLiteral("错误"));
            QVERIFY2(p->shown[0].text.contains(reason), qPrintable(p->shown[0].text));
            QVERIFY(!w.connection().isOpen());
        }
        // The command-line tool: its three ways in say the same and end with status 1.
        const QString out = dir.filePath(QStringLiteral("out.csv"));
        for (const QStringList &args : {QStringList{"tally", "acquisition", "1", "--db", path, "--user", "Admin"},
                                        QStringList{"report", "category-list", "--db", path, "--csv", out},
                                        QStringList{"init", "--db", path}}) {
            const Run r = cli(m_cli, args);
            QVERIFY2(r.code == 1 && r.err.contains(reason), qPrintable(args.first() + QStringLiteral(": ") + r.err));
        }
        QVERIFY(!QFile::exists(out));
        QVERIFY(snapshot(path) == before);
        if (holder.state() == QProcess::Running) {
            holder.closeWriteChannel();
            if (!holder.waitForFinished(5000))
                holder.kill();
        }
    }

    // A register that is not there: the command-line tool does not make one.
    void missingRegisterIsNotMade()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Zentrav.db"));
        const Run r = cli(m_cli, {"tally", "loan", "1", "--db", path, "--user", "Admin"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("数据库文件不存在")), qPrintable(r.err));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }

    // A template beside the executable that cannot be used: the print-out is
    // refused with the template's name and the fault, no PDF appears, and the
    // rows can still be had as CSV.
    void templateBesideTheExecutable_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fault");
        QTest::newRow("JSON cut short") << QByteArray("{ \"bands\": [ {\"type\": \"data\"") << "JSON 格式错误";
        QTest::newRow("empty file") << QByteArray() << "JSON 格式错误";
        QTest::newRow("a list, not an object") << QByteArray("[1, 2, 3]") << "内容应当是一个 JSON 对象";
        QTest::newRow("binary bytes") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "JSON 格式错误";
        QTest::newRow("text with a BOM and a comment") << QByteArray("\xef\xbb\xbf// 本单位\n{\"bands\": []}") << "JSON 格式错误";
        QTest::newRow("a folder of that name") << QByteArray("FOLDER") << "无法读取";
    }
    void templateBesideTheExecutable()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("Zentrav.db"));
        makeRegister(db);
        const QString tpl = m_bin.filePath(QStringLiteral("templates/category-list.json"));
        if (content == "FOLDER") {
            QVERIFY(QDir().mkpath(tpl));
        } else {
            QFile f(tpl);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        }
        auto removeTemplate = qScopeGuard([&] {
            QFileInfo(tpl).isDir() ? QDir(tpl).removeRecursively() : QFile::remove(tpl);
        });
        const QString pdf = dir.filePath(QStringLiteral("list.pdf"));
        Run r = cli(m_cli, {"report", "category-list", "--db", db, "--pdf", pdf});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("报表模板“category-list”无法使用：")) && r.err.contains(fault), qPrintable(r.err));
        QVERIFY(!QFile::exists(pdf));
        const QString csv = dir.filePath(QStringLiteral("list.csv"));
        r = cli(m_cli, {"report", "category-list", "--db", db, "--csv", csv});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(QFile::exists(csv));
    }
};

QTEST_MAIN(AppBadInputTest)
#include "tst_app_badinput.moc"
