#include "data/connection.h"
#include "data/errors.h"
#include "data/schema.h"
#include "support/testdb.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(Engine)

class SchemaTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestDb> db;

    // Column name -> width (0 for non-text) as the engine reports them.
    QHash<QString, int> columnsOf(const QString &table)
    {
        QHash<QString, int> out;
        Connection &c = db->conn();
        if (c.engine() == Engine::SQLite) {
            QSqlQuery q = c.query(QStringLiteral("PRAGMA table_info(%1)").arg(c.quote(table)));
            while (q.next()) {
                const QString type = q.value(2).toString();
                const int open = type.indexOf(QLatin1Char('('));
                out.insert(q.value(1).toString(), open > 0 ? type.mid(open + 1, type.size() - open - 2).toInt() : 0);
            }
        } else {
            QSqlQuery q = c.query(QStringLiteral("SELECT column_name, character_maximum_length FROM information_schema.columns "
                                                 "WHERE table_schema = current_schema() AND table_name = ?"),
                                  QVariantList{table.toLower()});
            while (q.next())
                out.insert(q.value(0).toString(), q.value(1).isNull() ? 0 : q.value(1).toInt());
        }
        return out;
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

    void everyTableAndColumnWithItsWidth()
    {
        const QStringList expectedTables = {"Asset", "Asset_Add", "Asset_Move", "Asset_Move_Item", "Asset_Loan", "Asset_Service",
                                            "Asset_Discard", "AssetType", "Department", "Staffer", "Units", "Positions", "AddMode",
                                            "DecMode", "Factory", "Firm", "PopedomItem", "Depreciate", "SchemaVersion"};
        QStringList present = db->conn().tables();
        for (QString &t : present)
            t = t.toLower();
        for (const QString &t : expectedTables)
            QVERIFY2(present.contains(t.toLower()), qPrintable(t));
        QCOMPARE(int(Schema::tables().size()), expectedTables.size());

        for (const TableDef &t : Schema::tables()) {
            const QHash<QString, int> cols = columnsOf(t.name);
            QCOMPARE(cols.size(), int(t.columns.size()));
            for (const ColumnDef &c : t.columns) {
                bool found = false;
                for (auto it = cols.cbegin(); it != cols.cend(); ++it) {
                    if (it.key().compare(c.name, Qt::CaseInsensitive) == 0) {
                        found = true;
                        if (c.type == ColumnType::Text)
                            QVERIFY2(it.value() == c.width, qPrintable(t.name + QLatin1Char('.') + c.name));
                    }
                }
                QVERIFY2(found, qPrintable(t.name + QLatin1Char('.') + c.name));
            }
        }
        // A few widths as the data model gives them.
        QCOMPARE(Schema::column(QStringLiteral("asset"), QStringLiteral("CODE"))->width, 30);
        QCOMPARE(Schema::column(QStringLiteral("Asset_Move_Item"), QStringLiteral("Place"))->width, 40);
        QCOMPARE(Schema::column(QStringLiteral("Staffer"), QStringLiteral("Postalcode"))->width, 6);
        QCOMPARE(Schema::column(QStringLiteral("Positions"), QStringLiteral("Name"))->width, 60);
        QCOMPARE(Schema::column(QStringLiteral("Staffer"), QStringLiteral("Photo"))->type, ColumnType::Picture);
    }

    void widthsAndRangesAreEnforcedByTheDatabase_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Code 30 fits") << "INSERT INTO Asset (Code) VALUES (?)" << QVariant(QString(30, QChar(0x4E00))) << true;
        QTest::newRow("Code 31 refused") << "INSERT INTO Asset (Code) VALUES (?)" << QVariant(QString(31, QLatin1Char('x'))) << false;
        QTest::newRow("State 255 fits") << "INSERT INTO Asset (State) VALUES (?)" << QVariant(255) << true;
        QTest::newRow("State 256 refused") << "INSERT INTO Asset (State) VALUES (?)" << QVariant(256) << false;
        QTest::newRow("AddNumber 16 bits") << "INSERT INTO Asset_Add (AddNumber) VALUES (?)" << QVariant(40000) << false;
        QTest::newRow("bill code 12") << "INSERT INTO Asset_Loan (Code) VALUES (?)" << QVariant(QStringLiteral("2024031501xyz")) << false;
    }
    void widthsAndRangesAreEnforcedByTheDatabase()
    {
        QFETCH(QString, sql);
        QFETCH(QVariant, value);
        QFETCH(bool, accepted);
        bool ok = true;
        try {
            db->conn().exec(sql, QVariantList{value});
        } catch (const DataError &) {
            ok = false;
        }
        QCOMPARE(ok, accepted);
    }

    void seedRows()
    {
        Connection &c = db->conn();
        QSqlQuery q = c.query(QStringLiteral("SELECT Code, czqx, Pass FROM Staffer"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("Admin"));
        QCOMPARE(q.value(1).toInt(), 3);
        QVERIFY(q.value(2).toString().isEmpty());
        QVERIFY(!q.next());
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM PopedomItem WHERE Id BETWEEN 0 AND 3")).toInt(), 4);
        QCOMPARE(Schema::storedVersion(c), Schema::CurrentVersion);
        QCOMPARE(Schema::inspect(c), Schema::State::Zentrav);
    }

    // An older register gets the indexes of its later versions on its next
    // open, its rows untouched.
    void olderVersionIsUpgraded_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QStringList>("missing");
        QTest::newRow("first version") << 1 << QStringList{"ix_Asset_Type_BuyDate_DiscardDate_Price", "ix_Asset_DiscardDate", "ix_Asset_Type_Code"};
        QTest::newRow("second version") << 2 << QStringList{"ix_Asset_Type_Code"};
    }
    void olderVersionIsUpgraded()
    {
        QFETCH(int, version);
        QFETCH(QStringList, missing);
        Connection &c = db->conn();
        for (const QString &ix : missing)
            c.exec(QStringLiteral("DROP INDEX %1").arg(c.quote(ix)));
        c.exec(QStringLiteral("DELETE FROM SchemaVersion"));
        c.exec(QStringLiteral("INSERT INTO SchemaVersion (Version) VALUES (?)"), QVariantList{version});
        c.exec(QStringLiteral("INSERT INTO Asset (Code, Type) VALUES ('00010001', '0001')"));
        Schema::ensure(c);
        QCOMPARE(Schema::storedVersion(c), Schema::CurrentVersion);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Code FROM Asset")).toString(), QStringLiteral("00010001"));
        // Each index is there again: creating it once more is refused.
        for (const QString &ix : missing) {
            bool again = true;
            try {
                c.exec(QStringLiteral("CREATE INDEX %1 ON Asset (Type)").arg(c.quote(ix)));
            } catch (const DataError &) {
                again = false;
            }
            QVERIFY2(!again, qPrintable(ix));
        }
        Schema::ensure(c); // and a second open has nothing left to do
        QCOMPARE(Schema::storedVersion(c), Schema::CurrentVersion);
    }

    void ensureRefusesForeignAndNewerRegisters()
    {
        Schema::ensure(db->conn()); // ours: nothing to do
        QCOMPARE(db->conn().scalar(QStringLiteral("SELECT count(*) FROM Staffer")).toInt(), 1);

        db->conn().exec(QStringLiteral("INSERT INTO SchemaVersion (Version) VALUES (?)"), QVariantList{Schema::CurrentVersion + 1});
        QVERIFY_THROWS_EXCEPTION(DataError, Schema::ensure(db->conn()));

        TestDb foreign(TestDb::currentEngine(), false);
        foreign.conn().exec(QStringLiteral("CREATE TABLE orders (id INTEGER)"));
        QVERIFY_THROWS_EXCEPTION(DataError, Schema::ensure(foreign.conn()));
        QCOMPARE(foreign.conn().tables().size(), 1);

        TestDb empty(TestDb::currentEngine(), false);
        Schema::ensure(empty.conn());
        QCOMPARE(Schema::inspect(empty.conn()), Schema::State::Zentrav);
    }
};

// Opening files that are not usable registers: a clear reason and nothing written.
class OpenFailureTest : public QObject {
    Q_OBJECT
private slots:
    void refusedWithoutWriting_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "missing-folder" << "文件夹不存在";
        QTest::newRow("not a database") << "text" << "不是 Zentrav 数据库";
        QTest::newRow("a folder") << "folder" << "文件夹";
        QTest::newRow("truncated") << "truncated" << "无法打开数据库";
        QTest::newRow("read-only") << "readonly" << "只读";
    }
    void refusedWithoutWriting()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("Zentrav.db"));
        if (kind == QLatin1String("missing-folder")) {
            path = dir.filePath(QStringLiteral("nope/Zentrav.db"));
        } else if (kind == QLatin1String("text")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("这不是数据库\n");
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Zentrav.db")));
        } else {
            {
                Connection c;
                c.open(ConnectionParams::sqlite(path));
                Schema::create(c);
                for (int i = 0; i < 200; ++i)
                    c.exec(QStringLiteral("INSERT INTO Units (Name) VALUES (?)"), QVariantList{QString::number(i)});
                c.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            }
            if (kind == QLatin1String("truncated")) {
                QFile f(path);
                QVERIFY(f.open(QIODevice::ReadWrite));
                QVERIFY(f.resize(1024)); // the header survives, the tables do not
            } else {
                QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
                if (QFileInfo(path).isWritable())
                    QSKIP("running as root: a read-only file is still writable");
            }
        }
        QByteArray before;
        if (QFileInfo(path).isFile()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            before = f.readAll();
        }
        Connection c;
        try {
            c.open(ConnectionParams::sqlite(path));
            Schema::ensure(c);
            QFAIL("must be refused");
        } catch (const DataError &e) {
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
        QVERIFY(!c.isOpen());
        if (QFileInfo(path).isFile()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }
        QVERIFY(!QFile::exists(path + QStringLiteral("-wal")) || kind == QLatin1String("truncated"));
    }

    void pgServerUnreachable()
    {
        ConnectionParams p = ConnectionParams::fromPgString(QStringLiteral("host=127.0.0.1 port=1 dbname=x user=y"));
        Connection c;
        try {
            c.open(p);
            QFAIL("no server listens on port 1");
        } catch (const DataError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("无法连接数据库服务器")), qPrintable(e.message()));
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rc = 0;
    {
        SchemaTest t;
        rc |= QTest::qExec(&t, argc, argv);
    }
    {
        OpenFailureTest t;
        rc |= QTest::qExec(&t, argc, argv);
    }
    return rc;
}
#include "tst_data_schema.moc"
