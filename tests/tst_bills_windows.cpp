#include "bills/billframe.h"
#include "bills/billwindows.h"
#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "login/loginsession.h"
#include "reports/engine/reportpainter.h"
#include "reports/engine/reportpreview.h"
#include "support/testdb.h"

#include <QComboBox>
#include <QLabel>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QToolButton>

Q_DECLARE_METATYPE(Engine)

// The bill windows driven as a user would: the shared frame (date window,
// Append, Delete, Save, close question), each window's own rules, and the
// print-outs laid out as pages.
class BillWindowsTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestDb> db;
    const QDate today{2024, 3, 31};
    Connection &c() { return db->conn(); }

    template <class W> std::unique_ptr<W> open()
    {
        auto w = std::make_unique<W>(&c());
        w->frame()->setToday(today);
        w->resize(1200, 800);
        w->show();
        return w;
    }
    static QStringList codes(Dataset *ds)
    {
        QStringList out;
        for (int r = 0; r < ds->recordCount(); ++r)
            out << ds->valueAt(r, ds->fieldIndex("Code")).toString();
        return out;
    }
    qint64 item(const QString &code, int state)
    {
        c().exec(QStringLiteral("INSERT INTO Asset (Code, Name, Model, Type, State, Department, keeper, Place, %1) VALUES (?,?,?,?,?,?,?,?,?)")
                     .arg(c().quote(QStringLiteral("User"))),
                 QVariantList{code, QStringLiteral("物品") + code, QStringLiteral("M1"), QStringLiteral("0001"), state, QStringLiteral("原部门"),
                              QStringLiteral("原保管"), QStringLiteral("原位置"), QStringLiteral("原使用人")});
        return c().scalar(QStringLiteral("SELECT max(Id) FROM Asset")).toLongLong();
    }
    QVariant assetValue(qint64 id, const QString &col)
    {
        return c().scalar(QStringLiteral("SELECT %1 FROM Asset WHERE Id=?").arg(c().quote(col)), QVariantList{id});
    }
    void addBill(const QString &table, const QString &code, const QString &dateCol, const QDate &date, int state, const QVariant &assetId = {})
    {
        if (assetId.isValid())
            c().exec(QStringLiteral("INSERT INTO %1 (Code, %2, State, AssetId) VALUES (?,?,?,?)").arg(table, dateCol),
                     QVariantList{code, QDateTime(date, QTime(0, 0)), state, assetId});
        else
            c().exec(QStringLiteral("INSERT INTO %1 (Code, %2, State) VALUES (?,?,?)").arg(table, dateCol),
                     QVariantList{code, QDateTime(date, QTime(0, 0)), state});
    }
    static bool shown(QWidget *w) { return w && w->isVisible(); }
    // With ZENTRAV_BILL_PDF_DIR set, the window is kept as a picture there too.
    static void snapshot(QWidget *w, const QString &name)
    {
        const QString dir = qEnvironmentVariable("ZENTRAV_BILL_PDF_DIR");
        if (!dir.isEmpty())
            w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

private slots:
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG not set: PostgreSQL half skipped");
        db = std::make_unique<TestDb>(TestDb::currentEngine());
        LoginSession s;
        s.LoginCode = QStringLiteral("001");
        s.LoginName = QStringLiteral("王制单");
        LoginSession::set(s);
        BillFrame::setOrganisationName(QStringLiteral("某某单位"));
    }
    void cleanup()
    {
        setReportPreviewHook({});
        db.reset();
    }

    void dateWindowAndListedBills()
    {
        QCOMPARE(BillFrame::monthBefore(QDate(2023, 3, 31)), QDate(2023, 2, 28));
        QCOMPARE(BillFrame::monthBefore(QDate(2024, 3, 31)), QDate(2024, 2, 29));
        addBill("Asset_Add", "2023033101", "BuildDate", QDate(2023, 3, 31), 0); // untallied, a year old
        addBill("Asset_Add", "2024022801", "BuildDate", QDate(2024, 2, 28), 1); // tallied, the day before the window
        addBill("Asset_Add", "2024022901", "BuildDate", QDate(2024, 2, 29), 1);
        addBill("Asset_Add", "2024033101", "BuildDate", QDate(2024, 3, 31), 1);
        ScopedScriptedPrompter p;
        auto w = open<AcquisitionBillWindow>();
        auto *f = w->frame();
        QCOMPARE(f->minDateEdit()->text(), QStringLiteral("2024/2/29"));
        QCOMPARE(f->maxDateEdit()->text(), QStringLiteral("2024/3/31"));
        QCOMPARE(codes(w->list()), (QStringList{"2023033101", "2024022901", "2024033101"}));

        // A start date naming a thirteenth month, then a bad end date: the list stays.
        f->minDateEdit()->setText(QStringLiteral("2024/13/1"));
        QTest::mouseClick(f->refreshButton(), Qt::LeftButton);
        QCOMPARE(p->lastText(), QStringLiteral("起始日期格式错误？"));
        f->minDateEdit()->setText(QStringLiteral("2024-03-01"));
        f->maxDateEdit()->setText(QStringLiteral("2024/3/32"));
        QTest::mouseClick(f->refreshButton(), Qt::LeftButton);
        QCOMPARE(p->lastText(), QStringLiteral("终止日期格式错误？"));
        QCOMPARE(w->list()->recordCount(), 3);
        // A window whose start lies after its end lists only the untallied bills.
        f->maxDateEdit()->setText(QStringLiteral("2024/1/1"));
        f->maxDateEdit()->setFocus();
        QTest::keyClick(f->maxDateEdit(), Qt::Key_Return); // Enter refreshes too
        QCOMPARE(codes(w->list()), QStringList{"2023033101"});
    }

    void appendTwiceDeleteAndSave()
    {
        ScopedScriptedPrompter p;
        auto w = open<AcquisitionBillWindow>();
        auto *f = w->frame();
        QVERIFY(w->list()->isEmpty());
        QVERIFY(!shown(f->tallyButton()));
        QVERIFY(!w->editorOf("Name")->isEnabled());
        QTest::mouseClick(f->appendButton(), Qt::LeftButton);
        QTest::mouseClick(f->appendButton(), Qt::LeftButton);
        QCOMPARE(codes(w->list()), (QStringList{"2024033101", "2024033102"}));
        QCOMPARE(w->list()->asString("Controller"), QStringLiteral("王制单"));
        QCOMPARE(w->list()->asDate("BuyDate"), today);
        QVERIFY(w->editorOf("Name")->isEnabled());
        QVERIFY(shown(f->tallyButton()) && shown(f->printButton()) && shown(f->deleteButton()));
        // Typing into the editor edits the current bill.
        w->editorOf("Name")->setFocus();
        QTest::keyClicks(w->editorOf("Name"), QStringLiteral("PC100"));
        QTest::mouseClick(f->deleteButton(), Qt::LeftButton); // the second, unsaved bill
        QTest::mouseClick(f->saveButton(), Qt::LeftButton);
        QVERIFY(p->shown.empty());
        QCOMPARE(c().scalar("SELECT count(*) FROM Asset_Add").toInt(), 1);
        QCOMPARE(c().scalar("SELECT Code FROM Asset_Add").toString(), QStringLiteral("2024033101"));

        // A tallied bill cannot be deleted.
        c().exec("UPDATE Asset_Add SET State=1");
        QTest::mouseClick(f->refreshButton(), Qt::LeftButton);
        QTest::mouseClick(f->deleteButton(), Qt::LeftButton); // hidden: nothing happens
        f->removeCurrent();
        QCOMPARE(p->lastText(), QStringLiteral("单据已登帐，不可删除！"));
        QCOMPARE(c().scalar("SELECT count(*) FROM Asset_Add").toInt(), 1);
        QVERIFY(!w->editorOf("Name")->isEnabled());
        QVERIFY(!shown(f->tallyButton()));
        QCOMPARE(f->grid()->model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(), UiLook::Cream);
    }

    // Refresh with changes pending: Yes whose save fails keeps everything;
    // No drops the changes; a title click sorts the list.
    void refreshQuestionAndSort()
    {
        addBill("Asset_Service", "2024033001", "ServiceDate", QDate(2024, 3, 30), 0);
        addBill("Asset_Service", "2024033002", "ServiceDate", QDate(2024, 3, 30), 1);
        ScopedScriptedPrompter p;
        auto w = open<RepairBillWindow>();
        auto *f = w->frame();
        w->list()->first();
        w->list()->setValue("ServiceDept", QStringLiteral("修理厂"));
        w->list()->post();
        c().exec("DROP TABLE Asset_Service");
        p->answers.push_back(Prompter::Yes);
        QVERIFY(!f->refresh());
        QCOMPARE(p->texts(), (QStringList{"数据已经修改，需要保存吗？", "保存失败！"}));
        QCOMPARE(w->list()->recordCount(), 2);
        QCOMPARE(w->list()->asString("ServiceDept"), QStringLiteral("修理厂"));
        QVERIFY(f->hasPendingChanges());
        p->answers.push_back(Prompter::Cancel);
        QVERIFY(!f->queryClose());
        QVERIFY(f->hasPendingChanges());

        f->grid()->clickTitle(0);
        QCOMPARE(codes(w->list()), (QStringList{"2024033002", "2024033001"}));
        f->grid()->clickTitle(0);
        QCOMPARE(codes(w->list()), (QStringList{"2024033001", "2024033002"}));
    }

    void comboListsFromTheRegister()
    {
        c().exec("INSERT INTO Staffer (Code, Name) VALUES ('002', 'Zhao'), ('001', 'Wang')");
        c().exec("INSERT INTO Department (Id, Code, Name) VALUES ('0001', '01', 'Office')");
        auto w = open<LoanBillWindow>();
        auto items = [](QWidget *combo) {
            auto *c = qobject_cast<QComboBox *>(combo);
            QStringList out;
            for (int i = 0; c && i < c->count(); ++i)
                if (!c->itemText(i).isEmpty())
                    out << c->itemText(i);
            return out;
        };
        auto names = [this](const QString &order) {
            QStringList out;
            QSqlQuery q = c().query(QStringLiteral("SELECT Name FROM Staffer ORDER BY ") + order);
            while (q.next())
                out << q.value(0).toString();
            return out;
        };
        const QStringList byName = names("Name"), byCode = names("Code");
        QVERIFY(byName.indexOf("Wang") < byName.indexOf("Zhao"));
        QCOMPARE(items(w->editorOf("Loaner")), byName);
        QCOMPARE(items(w->editorOf("Loankeeper")), byName);
        QCOMPARE(items(w->editorOf("LoanDept")), QStringList{"Office"});
        auto back = open<LoanReturnBillWindow>();
        QCOMPARE(items(back->editorOf("Backer")), byCode);
        c().exec("UPDATE Staffer SET Code='000' WHERE Name='Zhao'");
        auto back2 = open<LoanReturnBillWindow>();
        QCOMPARE(items(back2->editorOf("BackKeeper")).first(), QStringLiteral("Zhao")); // the return windows order by code
        QCOMPARE(items(back->editorOf("Backer")), byCode); // an open window keeps the list it read
    }

    void closeQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("billsAfter");
        QTest::newRow("cancel stays") << int(Prompter::Cancel) << false << false << 0;
        QTest::newRow("no drops") << int(Prompter::No) << false << true << 0;
        QTest::newRow("yes saves") << int(Prompter::Yes) << false << true << 1;
        QTest::newRow("yes, save fails: stays") << int(Prompter::Yes) << true << false << -1;
    }
    void closeQuestion()
    {
        QFETCH(int, answer);
        QFETCH(bool, saveFails);
        QFETCH(bool, closes);
        QFETCH(int, billsAfter);
        ScopedScriptedPrompter p;
        auto w = open<WriteOffBillWindow>();
        QTest::mouseClick(w->frame()->appendButton(), Qt::LeftButton);
        if (saveFails)
            c().exec("DROP TABLE Asset_Discard");
        p->answers.push_back(Prompter::Answer(answer));
        QCOMPARE(w->queryClose(), closes);
        QCOMPARE(p->shown.front().text, QStringLiteral("数据已经修改，需要保存吗？"));
        QCOMPARE(p->shown.front().title, QStringLiteral("提示信息"));
        if (billsAfter >= 0)
            QCOMPARE(c().scalar("SELECT count(*) FROM Asset_Discard").toInt(), billsAfter);
        // Cancel and a failed save keep what was typed.
        QCOMPARE(w->frame()->hasPendingChanges(), !closes);
        if (saveFails)
            QCOMPARE(p->lastText(), QStringLiteral("保存失败！"));
    }

    void acquisitionTally()
    {
        c().exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('00','00','全部',NULL)");
        c().exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('0001','01','电脑','00')");
        for (int i = 1; i <= 5; ++i)
            item(QStringLiteral("0001%1").arg(i, 4, 10, QLatin1Char('0')), 0);
        ScopedScriptedPrompter p;
        auto w = open<AcquisitionBillWindow>();
        auto *f = w->frame();
        QTest::mouseClick(f->appendButton(), Qt::LeftButton);
        w->editorOf("Name")->setFocus();
        QTest::keyClicks(w->editorOf("Name"), QStringLiteral("PC100"));
        // Without a quantity: refused after the bill's edits were saved.
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QCOMPARE(p->texts(), QStringList{"增加数量为0，不可登帐！"});
        QCOMPARE(c().scalar("SELECT Name FROM Asset_Add").toString(), QStringLiteral("PC100"));
        w->editorOf("AddNumber")->setFocus();
        QTest::keyClicks(w->editorOf("AddNumber"), QStringLiteral("3"));
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QCOMPARE(p->lastText(), QStringLiteral("资产类型为空，不可登帐！"));
        auto *type = qobject_cast<LookupTreeCombo *>(w->editorOf("Type"));
        QVERIFY(type && type->pickKey(QStringLiteral("0001")));
        snapshot(w.get(), QStringLiteral("window-acquisition"));
        p->clear();
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QVERIFY2(p->shown.empty(), qPrintable(p->texts().join(',')));
        QCOMPARE(c().scalar("SELECT State FROM Asset_Add").toInt(), 1);
        QSqlQuery q = c().query("SELECT Code FROM Asset WHERE Add_Id IS NOT NULL ORDER BY Code");
        QStringList made;
        while (q.next())
            made << q.value(0).toString();
        QCOMPARE(made, (QStringList{"00010006", "00010007", "00010008"}));
        // The bill shows as tallied at once.
        QCOMPARE(w->list()->asInt("State"), 1);
        QVERIFY(!w->editorOf("Name")->isEnabled());
        QVERIFY(!shown(f->tallyButton()) && !shown(f->printButton()) && !shown(f->deleteButton()));
        // Tallying it again is refused.
        f->tally();
        QCOMPARE(p->lastText(), QStringLiteral("单据已登帐，不可再次登帐！"));
    }

    void tallyWhoseSaveFailsStops()
    {
        ScopedScriptedPrompter p;
        auto w = open<RepairBillWindow>();
        const qint64 a = item("A1", 0);
        QTest::mouseClick(w->frame()->appendButton(), Qt::LeftButton);
        w->pickAsset = [a] { return std::optional<qint64>(a); };
        QTest::mouseClick(w->chooseAssetButton(), Qt::LeftButton);
        c().exec("DROP TABLE Asset_Service");
        QTest::mouseClick(w->frame()->tallyButton(), Qt::LeftButton);
        QCOMPARE(p->texts(), QStringList{"保存失败！"});
        QVERIFY(w->frame()->hasPendingChanges());
        QCOMPARE(w->list()->asInt("AssetId"), a);
        QCOMPARE(assetValue(a, "State").toInt(), 0);
    }

    // The three windows that pick one item: Append values, the pick, the
    // refusal without an item, and what the tally writes.
    void oneItemWindows_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("noItem");
        QTest::addColumn<int>("itemState");
        QTest::newRow("write-off") << int(BillKind::WriteOff) << "没有选定销账资产，不可登帐！" << 4;
        QTest::newRow("loan") << int(BillKind::Loan) << "没有选定借出资产，不可登帐！" << 2;
        QTest::newRow("repair") << int(BillKind::Repair) << "没有选定维修资产，不可登帐！" << 3;
    }
    void oneItemWindows()
    {
        QFETCH(int, kind);
        QFETCH(QString, noItem);
        QFETCH(int, itemState);
        ScopedScriptedPrompter p;
        std::unique_ptr<BillWindow> w;
        if (BillKind(kind) == BillKind::WriteOff)
            w = open<WriteOffBillWindow>();
        else if (BillKind(kind) == BillKind::Loan)
            w = open<LoanBillWindow>();
        else
            w = open<RepairBillWindow>();
        auto *f = w->frame();
        QTest::mouseClick(f->appendButton(), Qt::LeftButton);
        QVERIFY(w->chooseAssetButton()->isEnabled());
        if (BillKind(kind) == BillKind::Loan) {
            QCOMPARE(w->list()->asString("Loankeeper"), QStringLiteral("王制单"));
            QCOMPARE(w->list()->asDate("LoanDate"), today);
        } else if (BillKind(kind) == BillKind::Repair) {
            QCOMPARE(w->list()->asDate("ServiceDate"), today);
            QVERIFY(w->list()->isNull("Deliver"));
        } else {
            QCOMPARE(w->list()->asString("Controller"), QStringLiteral("王制单"));
            QCOMPARE(w->list()->asDate("DecDate"), today);
        }
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QCOMPARE(p->lastText(), noItem);

        // "返回" in the picker leaves the bill as it was.
        w->pickAsset = [] { return std::optional<qint64>(); };
        QTest::mouseClick(w->chooseAssetButton(), Qt::LeftButton);
        QVERIFY(w->list()->isNull("AssetId"));
        // An item acquired after the window opened shows its fields when picked.
        const qint64 a = item("NEW1", 1);
        w->pickAsset = [a] { return std::optional<qint64>(a); };
        QTest::mouseClick(w->chooseAssetButton(), Qt::LeftButton);
        QCOMPARE(qobject_cast<QLineEdit *>(w->editorOf(kind == int(BillKind::Repair) ? "Assetcode" : "AssetCode"))->text(), QStringLiteral("NEW1"));
        if (BillKind(kind) == BillKind::Loan) {
            w->list()->setValue("LoanDept", QStringLiteral("借用部门"));
            w->list()->setValue("Loaner", QStringLiteral("李四"));
        }
        p->clear();
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QVERIFY2(p->shown.empty(), qPrintable(p->texts().join(',')));
        QCOMPARE(assetValue(a, "State").toInt(), itemState);
        QCOMPARE(assetValue(a, "keeper").toString(), QStringLiteral("原保管"));
        if (BillKind(kind) == BillKind::Loan) {
            QCOMPARE(assetValue(a, "Department").toString(), QStringLiteral("借用部门"));
            QCOMPARE(assetValue(a, "User").toString(), QStringLiteral("李四"));
            QCOMPARE(f->grid()->model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(192, 220, 192));
        } else {
            QCOMPARE(assetValue(a, "Department").toString(), QStringLiteral("原部门"));
        }
        QCOMPARE(w->list()->asInt("State"), 1);
        snapshot(w.get(), QStringLiteral("window-%1").arg(kind));
        QVERIFY(!w->chooseAssetButton()->isEnabled());
        QVERIFY(!shown(f->tallyButton()));
    }

    // The two return windows: what they list, no Append/Delete/Print, the
    // refusal without a date, and the item back in normal use.
    void returnWindows_data()
    {
        QTest::addColumn<bool>("loan");
        QTest::newRow("loan return") << true;
        QTest::newRow("repair completion") << false;
    }
    void returnWindows()
    {
        QFETCH(bool, loan);
        const QString table = loan ? "Asset_Loan" : "Asset_Service";
        const QString dateCol = loan ? "LoanDate" : "ServiceDate";
        const qint64 a = item("OUT1", loan ? 2 : 3);
        addBill(table, "2020010101", dateCol, QDate(2020, 1, 1), 1, a); // out for years: listed
        addBill(table, "2020010102", dateCol, QDate(2020, 1, 1), 3, a); // closed long ago: not listed
        addBill(table, "2024033001", dateCol, QDate(2024, 3, 30), 0, a); // not tallied yet: not listed
        addBill(table, "2024033002", dateCol, QDate(2024, 3, 30), 2, a);
        ScopedScriptedPrompter p;
        std::unique_ptr<BillWindow> w;
        if (loan)
            w = open<LoanReturnBillWindow>();
        else
            w = open<RepairCompletionBillWindow>();
        auto *f = w->frame();
        QCOMPARE(codes(w->list()), (QStringList{"2020010101", "2024033002"}));
        QVERIFY(!f->appendButton() && !f->deleteButton() && !f->printButton());
        QCOMPARE(f->legendLabels().size(), 4);
        QCOMPARE(qobject_cast<QLineEdit *>(w->editorOf("AssetCode"))->text(), QStringLiteral("OUT1"));
        QVERIFY(w->editorOf("BackDate")->isEnabled());
        QVERIFY(!w->editorOf("Code")->isEnabled());
        snapshot(w.get(), loan ? QStringLiteral("window-loanreturn") : QStringLiteral("window-completion"));
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QCOMPARE(p->lastText(), loan ? QStringLiteral("没有指定归还日期，不可登帐！") : QStringLiteral("没有指定取回日期，不可登帐！"));
        // Saving a date without tallying keeps the bill out.
        auto *back = qobject_cast<DateEdit *>(w->editorOf("BackDate"));
        back->setFocus();
        QTest::keyClicks(back, QStringLiteral("2024/3/31"));
        QTest::mouseClick(f->saveButton(), Qt::LeftButton);
        QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM %1 WHERE Code='2020010101'").arg(table)).toInt(), 1);
        QVERIFY(!c().scalar(QStringLiteral("SELECT BackDate FROM %1 WHERE Code='2020010101'").arg(table)).isNull());
        p->clear();
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QVERIFY2(p->shown.empty(), qPrintable(p->texts().join(',')));
        QCOMPARE(c().scalar(QStringLiteral("SELECT State FROM %1 WHERE Code='2020010101'").arg(table)).toInt(), 3);
        QCOMPARE(assetValue(a, "State").toInt(), 0);
        QCOMPARE(assetValue(a, "Department").toString(), QString());
        QCOMPARE(assetValue(a, "User").toString(), QString());
        QCOMPARE(assetValue(a, "keeper").toString(), QStringLiteral("原保管"));
        // The closed bill stays in view, current, in the closed colour, until the next Refresh.
        QCOMPARE(w->list()->asString("Code"), QStringLiteral("2020010101"));
        QCOMPARE(w->list()->asInt("State"), 3);
        QCOMPARE(f->grid()->model()->index(w->list()->currentRow(), 0).data(Qt::BackgroundRole).value<QColor>(), UiLook::Cream);
        QVERIFY(!w->editorOf("BackDate")->isEnabled());
        QVERIFY(!shown(f->tallyButton()));
        QTest::mouseClick(f->refreshButton(), Qt::LeftButton);
        QCOMPARE(codes(w->list()), QStringList{"2024033002"});
    }

    void transferLinesSaveAndTally()
    {
        const qint64 a = item("T1", 0), b = item("T2", 1);
        ScopedScriptedPrompter p;
        auto w = open<TransferBillWindow>();
        auto *f = w->frame();
        QTest::mouseClick(f->appendButton(), Qt::LeftButton);
        QVERIFY(w->list()->asInt("Id") > 0);
        QVERIFY(shown(w->addLineButton()));
        QVERIFY(!w->editorOf("keeper")->isEnabled()); // no line yet
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QCOMPARE(p->lastText(), QStringLiteral("没有选定调拨资产，不可登帐！"));

        w->list()->setValue("ToDept", QStringLiteral("新部门"));
        w->list()->post();
        for (qint64 id : {a, b}) {
            w->pickAsset = [id] { return std::optional<qint64>(id); };
            QTest::mouseClick(w->addLineButton(), Qt::LeftButton);
        }
        QCOMPARE(w->lines()->recordCount(), 2);
        QVERIFY(w->editorOf("keeper")->isEnabled());
        QCOMPARE(w->lines()->asString("Assetcode"), QStringLiteral("T2"));
        snapshot(w.get(), QStringLiteral("window-transfer"));
        w->lines()->setValue("keeper", QStringLiteral("O'Brien"));
        w->lines()->post();
        QTest::mouseClick(f->saveButton(), Qt::LeftButton);
        const qint64 billId = c().scalar("SELECT Id FROM Asset_Move").toLongLong();
        QCOMPARE(c().scalar("SELECT count(*) FROM Asset_Move_Item WHERE MoveId=?", {billId}).toInt(), 2);
        p->clear();
        QTest::mouseClick(f->tallyButton(), Qt::LeftButton);
        QVERIFY2(p->shown.empty(), qPrintable(p->texts().join(',')));
        QCOMPARE(assetValue(a, "State").toInt(), 1);
        QCOMPARE(assetValue(a, "Department").toString(), QStringLiteral("新部门"));
        QCOMPARE(assetValue(a, "keeper").toString(), QString()); // a line without keeper clears it
        QCOMPARE(assetValue(b, "keeper").toString(), QStringLiteral("O'Brien"));
        QVERIFY(!shown(w->addLineButton()) && !shown(w->deleteLineButton()));
        QVERIFY(!w->editorOf("keeper")->isEnabled());
    }

    void transferDeleteTakesItsLines()
    {
        const qint64 a = item("T1", 0);
        ScopedScriptedPrompter p;
        auto w = open<TransferBillWindow>();
        QTest::mouseClick(w->frame()->appendButton(), Qt::LeftButton);
        w->pickAsset = [a] { return std::optional<qint64>(a); };
        QTest::mouseClick(w->addLineButton(), Qt::LeftButton);
        QTest::mouseClick(w->frame()->saveButton(), Qt::LeftButton);
        QCOMPARE(c().scalar("SELECT count(*) FROM Asset_Move_Item").toInt(), 1);
        QTest::mouseClick(w->frame()->deleteButton(), Qt::LeftButton);
        QTest::mouseClick(w->frame()->saveButton(), Qt::LeftButton);
        QVERIFY(p->shown.empty());
        QCOMPARE(c().scalar("SELECT count(*) FROM Asset_Move").toInt(), 0);
        QCOMPARE(c().scalar("SELECT count(*) FROM Asset_Move_Item").toInt(), 0);
    }

    // Each print-out is one page of the current bill, saved or not.
    void printOuts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("acquisition") << int(BillKind::Acquisition) << "物品验收单" << QStringList{"电脑", "4,999.50", "台式机", "3 台", "主管", "检验"};
        QTest::newRow("transfer") << int(BillKind::Transfer) << "物品调拨单" << QStringList{"新部门", "P1", "P2", "第1页", "调入部门签章"};
        QTest::newRow("write-off") << int(BillKind::WriteOff) << "物品销账单" << QStringList{"P1", "报废", "2024年03月31日"};
        QTest::newRow("loan") << int(BillKind::Loan) << "物品借出单" << QStringList{"P1", "物品P1", "2024/3/31", "借用人"};
        QTest::newRow("repair") << int(BillKind::Repair) << "物品维修单" << QStringList{"P1", "2024年03月31日", "领导签章"};
    }
    void printOuts()
    {
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(QStringList, expected);
        c().exec("INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES ('0001','01','电脑',NULL)");
        const qint64 p1 = item("P1", 0), p2 = item("P2", 0);
        ScopedScriptedPrompter p;
        std::unique_ptr<BillWindow> w;
        switch (BillKind(kind)) {
        case BillKind::Acquisition: w = open<AcquisitionBillWindow>(); break;
        case BillKind::Transfer: w = open<TransferBillWindow>(); break;
        case BillKind::WriteOff: w = open<WriteOffBillWindow>(); break;
        case BillKind::Loan: w = open<LoanBillWindow>(); break;
        default: w = open<RepairBillWindow>(); break;
        }
        auto *f = w->frame();
        QTest::mouseClick(f->appendButton(), Qt::LeftButton);
        QTest::mouseClick(f->appendButton(), Qt::LeftButton);
        Dataset *ds = w->list();
        switch (BillKind(kind)) {
        case BillKind::Acquisition:
            ds->setValue("Type", "0001");
            ds->setValue("Name", QStringLiteral("台式机"));
            ds->setValue("Price", 4999.5);
            ds->setValue("AddNumber", 3);
            ds->setValue("Unit", QStringLiteral("台"));
            break;
        case BillKind::Transfer:
            ds->setValue("ToDept", QStringLiteral("新部门"));
            for (qint64 id : {p1, p2}) {
                w->pickAsset = [id] { return std::optional<qint64>(id); };
                w->addLine();
            }
            break;
        default:
            w->pickAsset = [p1] { return std::optional<qint64>(p1); };
            w->chooseAsset();
            if (BillKind(kind) == BillKind::WriteOff)
                ds->setValue("DecType", QStringLiteral("报废"));
            break;
        }
        ds->post();
        QList<ReportDocument> docs;
        setReportPreviewHook([&docs](const ReportDocument &d) { docs << d; });
        QTest::mouseClick(f->printButton(), Qt::LeftButton); // never saved: printed as shown
        QVERIFY2(p->shown.empty(), qPrintable(p->texts().join(',')));
        QCOMPARE(docs.size(), 1);
        const ReportDocument &doc = docs.front();
        QCOMPARE(doc.pageCount(), 1);
        const QStringList texts = doc.pages.front().texts();
        QVERIFY(texts.contains(title));
        QVERIFY2(texts.join('|').contains(QStringLiteral("2024033102")), qPrintable(texts.join('|')));
        QVERIFY(texts.join('|').contains(QStringLiteral("某某单位")));
        for (const QString &e : expected)
            QVERIFY2(texts.join('|').contains(e), qPrintable(e + " in " + texts.join('|')));
        // The other bill's values are not printed, and the cursor stays.
        QCOMPARE(ds->asString("Code"), QStringLiteral("2024033102"));
        QVERIFY(!texts.join('|').contains(QStringLiteral("2024033101")));
        const QString dir = qEnvironmentVariable("ZENTRAV_BILL_PDF_DIR");
        if (!dir.isEmpty())
            writeReportPdf(doc, dir + QLatin1Char('/') + title + QStringLiteral(".pdf"));
    }
};

QTEST_MAIN(BillWindowsTest)
#include "tst_bills_windows.moc"
