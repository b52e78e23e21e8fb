#include "bills/billframe.h"
#include "bills/billwindows.h"
#include "common/boundeditors.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "login/loginsession.h"
#include "reference/assetledgerwindow.h"
#include "reference/staffwindow.h"
#include "support/testdb.h"

#include <QTest>
#include <QToolButton>

Q_DECLARE_METATYPE(Engine)

// Impossible dates typed into every date input of the editing windows: the
// window's own message, and the field keeps the value it had before the
// typing began, also when a prefix of the typed text was a date of its own
// ("2024-02-3" on the way to "2024-02-30"). The windows' date ranges refuse
// theirs before reading anything.
class BillsBadInputTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestDb> db;
    Connection &c() { return db->conn(); }
    const QDate today{2024, 3, 31};
    int typed = 0, editorsSeen = 0;

    static const QStringList &badDates()
    {
        static const QStringList list = {QStringLiteral("2024-02-30"), QStringLiteral("2023/2/29"), QStringLiteral("2024-13-01"),
                                         QStringLiteral("2024/12/32"), QStringLiteral("2024-0a-01"), QStringLiteral("abc"),
                                         QStringLiteral("2024/4/31"),  QStringLiteral("20241301")};
        return list;
    }

    // Types every bad date into every enabled date editor of `w`.
    void everyDateEditorRefuses(QWidget *w)
    {
        ScopedScriptedPrompter p;
        QList<BoundDateEdit *> editors;
        for (BoundDateEdit *e : w->findChildren<BoundDateEdit *>())
            if (e->isEnabled() && e->isVisibleTo(w) && !e->isReadOnly())
                editors << e;
        QVERIFY2(!editors.isEmpty(), "no date editor to type into");
        editorsSeen += int(editors.size());
        for (BoundDateEdit *e : editors) {
            FieldBinding *b = e->binding();
            for (const QString &bad : badDates()) {
                const QVariant before = b->value();
                const QString shown = e->text();
                p->clear();
                e->setFocus();
                e->selectAll();
                QTest::keyClicks(e, bad);
                QTest::keyClick(e, Qt::Key_Return);
                ++typed;
                const QByteArray what = (b->field() + QStringLiteral(": ") + bad).toUtf8();
                QVERIFY2(p->texts() == QStringList{QStringLiteral("“%1”不是有效的日期？").arg(bad)}, what + " " + p->texts().join(',').toUtf8());
                QVERIFY2(b->value() == before && b->value().isNull() == before.isNull(), what + " changed the field to " + b->value().toString().toUtf8());
                QVERIFY2(e->text() == shown, what + " shows " + e->text().toUtf8());
            }
        }
    }

private slots:
    void init()
    {
        db = std::make_unique<TestDb>(Engine::SQLite);
        LoginSession s;
        s.LoginName = QStringLiteral("王制单");
        LoginSession::set(s);
        c().exec("INSERT INTO Asset (Code, Name, Type, State) VALUES ('OUT1', '电脑', '0001', 2)");
        c().exec("INSERT INTO Asset (Code, Name, Type, State) VALUES ('REP1', '打印机', '0001', 3)");
        // A lent and a repaired item with their open bills, dated, for the two return windows.
        c().exec("INSERT INTO Asset_Loan (Code, AssetId, LoanDate, IntendBackDate, State) VALUES ('2024030101', 1, '2024-03-01 00:00:00', '2024-04-01 00:00:00', 1)");
        c().exec("INSERT INTO Asset_Service (Code, AssetId, ServiceDate, BackDate, State) VALUES ('2024030101', 2, '2024-03-01 00:00:00', '2024-03-20 00:00:00', 1)");
    }
    void cleanup() { db.reset(); }
    void cleanupTestCase() { qInfo("%d impossible dates typed into %d date editors", typed, editorsSeen); }

    void billWindowDates_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("acquisition") << int(BillKind::Acquisition);
        QTest::newRow("transfer") << int(BillKind::Transfer);
        QTest::newRow("write-off") << int(BillKind::WriteOff);
        QTest::newRow("loan") << int(BillKind::Loan);
        QTest::newRow("loan return") << int(BillKind::LoanReturn);
        QTest::newRow("repair") << int(BillKind::Repair);
        QTest::newRow("repair completion") << int(BillKind::RepairCompletion);
    }
    void billWindowDates()
    {
        QFETCH(int, kind);
        BillWindow w(&c(), BillKind(kind));
        w.frame()->setToday(today);
        w.resize(1200, 800);
        w.show();
        if (w.frame()->appendButton())
            QTest::mouseClick(w.frame()->appendButton(), Qt::LeftButton);
        QVERIFY(w.frame()->currentEditable());
        everyDateEditorRefuses(&w);
        // Saved, the bill holds its dates as they were before the bad typing.
        const Dataset *ds = w.list();
        QStringList dates;
        for (int f = 0; f < ds->fieldCount(); ++f)
            if (ds->field(f).type == FieldType::DateTime)
                dates << ds->field(f).name + QLatin1Char('=') + ds->valueAt(ds->currentRow(), f).toDateTime().toString(Qt::ISODate);
        ScopedScriptedPrompter p;
        QTest::mouseClick(w.frame()->saveButton(), Qt::LeftButton);
        QVERIFY2(p->shown.empty(), qPrintable(p->texts().join(',')));
        for (const QString &d : dates) {
            const QString col = d.section(QLatin1Char('='), 0, 0), val = d.section(QLatin1Char('='), 1);
            const QVariant stored = c().scalar(QStringLiteral("SELECT %1 FROM %2 ORDER BY Id DESC").arg(c().quote(col), billTable(BillKind(kind))));
            QCOMPARE(stored.isNull() ? QString() : stored.toDateTime().toString(Qt::ISODate), val);
        }
    }

    // The date range above every bill list: a bad first or last date is told
    // with its own message and the list stays as it was.
    void billWindowDateRange_data()
    {
        QTest::addColumn<bool>("first");
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QString>("message");
        for (const QString &bad : badDates()) {
            QTest::addRow("from %s", qPrintable(bad)) << true << bad << "起始日期格式错误？";
            QTest::addRow("to %s", qPrintable(bad)) << false << bad << "终止日期格式错误？";
        }
    }
    void billWindowDateRange()
    {
        QFETCH(bool, first);
        QFETCH(QString, bad);
        QFETCH(QString, message);
        WriteOffBillWindow w(&c());
        w.frame()->setToday(today);
        w.show();
        QTest::mouseClick(w.frame()->appendButton(), Qt::LeftButton);
        ScopedScriptedPrompter p;
        DateEdit *e = first ? w.frame()->minDateEdit() : w.frame()->maxDateEdit();
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, bad);
        QTest::mouseClick(w.frame()->refreshButton(), Qt::LeftButton);
        QCOMPARE(p->texts(), QStringList{message});
        // The appended bill was not asked about, saved or dropped.
        QVERIFY(w.list()->hasPendingUpdates());
        QCOMPARE(c().scalar("SELECT count(*) FROM Asset_Discard").toInt(), 0);
    }

    void staffCardDates()
    {
        c().exec("INSERT INTO Department (Id, Code, Name, Parent_Id) VALUES ('00','00','总公司',NULL)");
        c().exec("INSERT INTO Staffer (Code, Name, Dept_Id, Birthday) VALUES ('7','张三','00','1980-05-06 00:00:00')");
        StaffWindow w(&c());
        w.resize(1100, 760);
        w.show();
        w.tree()->selectKey(QStringLiteral("00"));
        QVERIFY(w.staff()->locate(QStringLiteral("Code"), QStringLiteral("7")));
        everyDateEditorRefuses(&w);
        QCOMPARE(w.staff()->asDate(QStringLiteral("Birthday")), QDate(1980, 5, 6));
    }

    void ledgerCardDates()
    {
        c().exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('00','00','全部',NULL)");
        c().exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('0001','01','电脑','00')");
        c().exec("UPDATE Asset SET State = 1, BuyDate = '2020-01-02 00:00:00' WHERE Code = 'OUT1'");
        AssetLedgerWindow w(&c());
        w.resize(1200, 800);
        w.show();
        w.tree()->selectKey(QStringLiteral("0001"));
        QVERIFY(w.items()->locate(QStringLiteral("Code"), QStringLiteral("OUT1")));
        everyDateEditorRefuses(&w);
        QCOMPARE(w.items()->asDate(QStringLiteral("BuyDate")), QDate(2020, 1, 2));
    }
};

QTEST_MAIN(BillsBadInputTest)
#include "tst_bills_badinput.moc"
