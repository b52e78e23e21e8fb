#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "support/testdb.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

// The shared widgets over a small register: categories and items.
class TestCommonWidgets : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDb> db;
    std::unique_ptr<Dataset> items;
    std::unique_ptr<Dataset> types;

    void exec(const QString &sql, const QVariantList &a = {}) { db->conn().exec(sql, a); }
    static QColor pixel(QWidget *w, QPoint at)
    {
        return w->grab().toImage().pixelColor(at);
    }

private slots:
    void init()
    {
        db = std::make_unique<TestDb>(Engine::SQLite);
        exec("insert into AssetType values ('00','00','全部',null)");
        exec("insert into AssetType values ('0001','01','电脑','00')");
        exec("insert into AssetType values ('000101','0101','台式机','0001')");
        exec("insert into AssetType values ('0002','02','家具','00')");
        const char *rows[][4] = {{"B", "乙", "0001", "20"}, {"A", "甲", "000101", "10.5"}, {"C", "丙", "0002", "7"}};
        for (auto &r : rows)
            exec("insert into Asset (Code, Name, Type, Price, State) values (?,?,?,?,1)", {r[0], r[1], r[2], QString(r[3]).toDouble()});
        types = std::make_unique<Dataset>(&db->conn());
        types->setSql("select * from AssetType order by Code");
        types->addCalculatedField("Text", FieldType::Text, [](const Dataset &d, int s) {
            return QVariant("[" + d.storageValue(s, "Code").toString() + "]" + d.storageValue(s, "Name").toString());
        });
        types->open();
        items = std::make_unique<Dataset>(&db->conn());
        items->setTable("Asset");
        items->addLookupField("typeName", "Type", types.get(), "Id", "Name");
        items->addCalculatedField("Twice", FieldType::Double, [](const Dataset &d, int s) {
            return QVariant(d.storageValue(s, "Price").toDouble() * 2);
        });
        items->open();
    }
    void cleanup()
    {
        items.reset();
        types.reset();
        db.reset();
    }

    void titleClicksToggleTheMarks()
    {
        DataGrid g(items.get());
        g.addColumn("Code", "编号");
        g.addColumn("typeName", "分类");
        g.addColumn("Twice", "两倍");
        g.clickTitle(0);
        QCOMPARE(g.marker(0), SortMarker::Down);
        QCOMPARE(g.model()->index(0, 0).data().toString(), QString("C"));
        g.clickTitle(0);
        QCOMPARE(g.marker(0), SortMarker::Up);
        QCOMPARE(g.model()->index(0, 0).data().toString(), QString("A"));
        g.clickTitle(0);
        QCOMPARE(g.marker(0), SortMarker::Down);
        // A looked-up column sorts by its key; Ctrl keeps the other marks.
        g.clickTitle(1, true);
        QCOMPARE(items->sort(), QString("Type DESC"));
        QCOMPARE(g.marker(0), SortMarker::Down);
        QCOMPARE(g.marker(1), SortMarker::Down);
        // A calculated column does not sort and keeps no mark.
        g.clickTitle(2);
        QCOMPARE(g.marker(2), SortMarker::None);
        QCOMPARE(g.marker(0), SortMarker::None);
        QCOMPARE(items->sort(), QString("Type DESC"));
    }

    void gridAndDatasetShareTheCurrentRow()
    {
        DataGrid g(items.get());
        g.addColumn("Code", "编号");
        g.show();
        items->setCurrentRow(2);
        QCOMPARE(g.currentIndex().row(), 2);
        g.setCurrentIndex(g.model()->index(1, 0));
        QCOMPARE(items->currentRow(), 1);
        QTest::keyClick(&g, Qt::Key_Down);
        QCOMPARE(items->currentRow(), 2);
    }

    void findMovesToTheNextMatch()
    {
        ScopedScriptedPrompter prompter;
        DataGrid g(items.get());
        g.addColumn("Code", "编号");
        g.addColumn("Name", "名称");
        items->first();
        QVERIFY(g.findNext("丙"));
        QCOMPARE(items->asString("Code"), QString("C"));
        QVERIFY(g.findNext("乙"));          // wraps round to the first row
        QCOMPARE(items->asString("Code"), QString("B"));
        QVERIFY(!g.findNext("乙", 0));       // only in the code column: not there
        QVERIFY(!g.findNext("没有"));
        QCOMPARE(items->asString("Code"), QString("B"));
    }

    void ctrlFOpensTheFindDialog()
    {
        ScopedScriptedPrompter prompter;
        DataGrid g(items.get());
        g.addColumn("Code", "编号");
        g.addColumn("Name", "名称");
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        g.activateWindow();
        g.setFocus();
        items->first();
        QTimer::singleShot(0, [&] {
            auto *dlg = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            QTest::keyClicks(dlg->findChild<QLineEdit *>(), "C");
            auto buttons = dlg->findChildren<QPushButton *>();
            QPushButton *next = nullptr;
            for (QPushButton *b : buttons)
                if (b->text() == "查找下一个")
                    next = b;
            QVERIFY(next);
            QTest::mouseClick(next, Qt::LeftButton);
            dlg->reject();
        });
        QTest::keyClick(&g, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(items->asString("Code"), QString("C"));
        QVERIFY(prompter->shown.empty());
    }

    void calendarPicksADate()
    {
        items->locate("Code", "A");
        BoundDateEdit buy(items.get(), "BuyDate");
        buy.show();
        buy.showCalendar();
        QVERIFY(buy.calendar() && buy.calendar()->isVisible());
        emit buy.calendar()->clicked(QDate(2023, 7, 8));
        QCOMPARE(buy.text(), QString("2023/7/8"));
        QCOMPARE(items->asDate("BuyDate"), QDate(2023, 7, 8));
        QVERIFY(!buy.calendar()->isVisible());
    }

    void footerAndRowColours()
    {
        DataGrid g(items.get());
        g.addColumn("Code", "编号");
        g.addColumn("Price", "原值", 80, Qt::AlignRight | Qt::AlignVCenter, DatasetModel::Format::Money);
        g.setFooter([&](int c) {
            if (c == 0)
                return QStringLiteral("合计");
            double sum = 0;
            for (int r = 0; r < items->recordCount(); ++r)
                sum += items->valueAt(r, items->fieldIndex("Price")).toDouble();
            return DatasetModel::format(sum, DatasetModel::Format::Money);
        });
        g.setRowColor([](const Dataset &d, int s) {
            return d.storageValue(s, "Price").toDouble() > 10 ? QColor(255, 220, 220) : QColor();
        });
        g.resize(400, 300);
        g.show();
        QCOMPARE(g.footerText(1), QString("37.50"));
        items->locate("Code", "C");
        items->remove();
        QCOMPARE(g.footerText(1), QString("30.50"));
        QCOMPARE(g.model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 220, 220));
        QVERIFY(!g.model()->index(items->rowOfStorage(1), 0).data(Qt::BackgroundRole).isValid() || items->recordCount() == 2);
        // The footer takes room below the rows: the viewport ends above it.
        QVERIFY(g.viewport()->geometry().bottom() < g.height() - g.fontMetrics().height());
    }

    void frozenColumnsStayInPlace()
    {
        DataGrid g(items.get());
        for (const char *f : {"Code", "Name", "Type", "Model", "Makeof", "Place", "Department"})
            g.addColumn(f, f, 150);
        g.setFrozenColumns(2);
        g.resize(500, 300);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        g.horizontalScrollBar()->setValue(g.horizontalScrollBar()->maximum());
        QApplication::processEvents();
        // The frozen copy shows "Code" at the left edge whatever the scrolling.
        auto *frozen = g.findChild<QTableView *>();
        QVERIFY(frozen && frozen->isVisible());
        QVERIFY(!frozen->isColumnHidden(0) && !frozen->isColumnHidden(1) && frozen->isColumnHidden(2));
        QCOMPARE(frozen->width(), 301);
        QVERIFY(g.horizontalHeader()->sectionViewportPosition(0) < 0);
    }

    void editableColumnsRespectTheWidth()
    {
        ScopedScriptedPrompter prompter;
        DataGrid g(items.get());
        const int c = g.addColumn("Unit", "单位");
        g.setColumnEditable(c);
        QVERIFY(g.model()->flags(g.model()->index(0, c)) & Qt::ItemIsEditable);
        QVERIFY(g.model()->setData(g.model()->index(0, c), "台"));
        QCOMPARE(items->rowState(0), Dataset::RowState::Modified);
        QVERIFY(!g.model()->setData(g.model()->index(1, c), QString(11, 'x')));
        QCOMPARE(prompter->shown.size(), size_t(1));
        QVERIFY(items->valueAt(1, items->fieldIndex("Unit")).isNull());
    }

    void datesParse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::newRow("short date") << "2024/3/5" << QDate(2024, 3, 5);
        QTest::newRow("iso") << "2024-03-05" << QDate(2024, 3, 5);
        QTest::newRow("blanks") << " 2024/12/31 " << QDate(2024, 12, 31);
        QTest::newRow("empty") << "" << QDate();
        QTest::newRow("no such day") << "2024/2/30" << QDate();
        QTest::newRow("words") << "昨天" << QDate();
        // A year of fewer than four digits shows padded, so it reads back.
        QTest::newRow("year 224") << "0224-01-02" << QDate(224, 1, 2);
        QTest::newRow("year 1") << "0001/1/1" << QDate(1, 1, 1);
        QTest::newRow("year before Christ") << "-0224-01-02" << QDate();
        QTest::newRow("year before Christ, short") << "-0001/1/1" << QDate();
    }
    void datesParse()
    {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QCOMPARE(DateEdit::parse(text), date);
        if (date.isValid()) {
            QCOMPARE(DateEdit::parse(DateEdit::format(date)), date);
            DateEdit edit;
            edit.setDate(date);
            QVERIFY(edit.hasValidText());
            QCOMPARE(edit.date(), date);
        }
    }

    void boundEditorsWriteThePendingRow()
    {
        ScopedScriptedPrompter prompter;
        items->locate("Code", "A");
        BoundLineEdit name(items.get(), "Name");
        BoundLineEdit price(items.get(), "Price");
        BoundDateEdit buy(items.get(), "BuyDate");
        BoundMemo makeof(items.get(), "Makeof");
        BoundComboBox unit(items.get(), "Unit");
        unit.setChoices({"台", "套"});
        QCOMPARE(name.text(), QString("甲"));
        QCOMPARE(name.maxLength(), 60);
        QCOMPARE(price.text(), QString("10.5"));
        QTest::keyClicks(&price, "x");
        QVERIFY(!items->hasPendingUpdates() || items->asDouble("Price") == 10.5);
        price.clear();
        QTest::keyClicks(&price, "12.25");
        QCOMPARE(items->asDouble("Price"), 12.25);
        QTest::keyClicks(&buy, "2024-03-05");
        QCOMPARE(items->asDate("BuyDate"), QDate(2024, 3, 5));
        buy.clear();
        QTest::keyClicks(&buy, "x");
        buy.selectAll();
        QTest::keyClick(&buy, Qt::Key_Backspace);
        QVERIFY(items->isNull("BuyDate"));
        unit.setCurrentIndex(1);
        emit unit.activated(1);
        QCOMPARE(items->asString("Unit"), QString("套"));
        // Longer than the column: refused whole with the column's message, nothing cut.
        const QString makeofBefore = items->asString("Makeof");
        makeof.setPlainText(QString(300, 'm'));
        QCOMPARE(prompter->texts(), QStringList{"“详细配置”最多只能有 255 个字符，现在有 300 个。"});
        QCOMPARE(items->asString("Makeof"), makeofBefore);
        QCOMPARE(makeof.toPlainText(), makeofBefore);
        prompter->clear();
        makeof.setPlainText(QString(255, 'm'));
        QCOMPARE(items->asString("Makeof"), QString(255, 'm'));
        // Moving to another row shows it.
        items->locate("Code", "C");
        QCOMPARE(name.text(), QString("丙"));
        QCOMPARE(buy.text(), QString());
        QVERIFY(prompter->shown.empty());
    }

    void badDateIsRefusedWithAMessage()
    {
        ScopedScriptedPrompter prompter;
        BoundDateEdit buy(items.get(), "BuyDate");
        buy.show();
        buy.setFocus();
        QTest::keyClicks(&buy, "2024/13/1");
        QTest::keyClick(&buy, Qt::Key_Return);
        QCOMPARE(prompter->texts(), QStringList{"“2024/13/1”不是有效的日期？"});
        QCOMPARE(buy.text(), QString());
        QVERIFY(items->isNull("BuyDate"));
    }

    void editorsStayCreamWhenDisabled()
    {
        BoundLineEdit name(items.get(), "Name");
        name.resize(120, 30);
        name.setEnabled(false);
        QCOMPARE(pixel(&name, QPoint(60, 15)), UiLook::Cream);
        name.setEnabled(true);
        QCOMPARE(pixel(&name, QPoint(60, 15)), UiLook::Cream);
        QVERIFY(name.styleSheet().contains("focus") && name.styleSheet().contains("green"));
    }

    void labelsCutAtGbkBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("cut");
        QTest::newRow("fits") << "[01]电脑" << 30 << "[01]电脑";
        QTest::newRow("two bytes a character") << "[01]一二三四五" << 10 << "[01]一二三";
        QTest::newRow("never half a character") << "[01]一二三四五" << 11 << "[01]一二三";
        QTest::newRow("latin only") << "abcdef" << 3 << "abc";
    }
    void labelsCutAtGbkBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, bytes);
        QFETCH(QString, cut);
        QCOMPARE(UiLook::cutToGbkBytes(text, bytes), cut);
    }

    void treeFollowsTheDataset()
    {
        DatasetTreeView tree(types.get());
        tree.show();
        QSignalSpy chosen(&tree, &DatasetTreeView::nodeSelected);
        QCOMPARE(tree.model()->rowCount(), 1);
        QVERIFY(tree.selectKey("000101"));
        QCOMPARE(types->asString("Id"), QString("000101"));
        QCOMPARE(chosen.last().at(0).toString(), QString("000101"));
        QVERIFY(tree.isExpanded(tree.treeModel()->indexOfKey("0001")));
        types->locate("Id", "0002");
        QCOMPARE(tree.selectedKey(), QString("0002"));
        // A node without children shows no expand button; a pending child shows at once.
        QVERIFY(!tree.model()->hasChildren(tree.treeModel()->indexOfKey("0002")));
        types->append();
        types->setValue("Id", "000201");
        types->setValue("Parent_Id", "0002");
        types->setValue("Code", "0201");
        types->post();
        QVERIFY(tree.model()->hasChildren(tree.treeModel()->indexOfKey("0002")));
        QCOMPARE(tree.selectedKey(), QString("000201"));
        QCOMPARE(tree.currentIndex().data().toString(), QString("[0201]"));
    }

    void lookupTreeStoresTheKey()
    {
        items->locate("Code", "C");
        LookupTreeCombo combo(items.get(), "Type", types.get());
        QCOMPARE(combo.currentText(), QString("[02]家具"));
        QVERIFY(combo.pickKey("000101"));
        QCOMPARE(items->asString("Type"), QString("000101"));
        QCOMPARE(combo.currentText(), QString("[0101]台式机"));
        // Chosen in the popup: the tree's current node is written.
        combo.showPopup();
        combo.treeView()->setCurrentIndex(combo.treeView()->model()->index(0, 0, combo.treeView()->model()->index(0, 0)));
        combo.hidePopup();
        emit combo.activated(0);
        QCOMPARE(items->asString("Type"), QString("0001"));
        QCOMPARE(combo.currentText(), QString("[01]电脑"));
        items->locate("Code", "A");
        QCOMPARE(combo.currentText(), QString("[0101]台式机"));
    }

    void closeQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveWorks");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("dropped");
        QTest::newRow("yes, saved") << int(Prompter::Yes) << true << true << false;
        QTest::newRow("yes, save failed") << int(Prompter::Yes) << false << false << false;
        QTest::newRow("no") << int(Prompter::No) << true << true << true;
        QTest::newRow("cancel") << int(Prompter::Cancel) << true << false << false;
    }
    void closeQuestion()
    {
        QFETCH(int, answer);
        QFETCH(bool, saveWorks);
        QFETCH(bool, closes);
        QFETCH(bool, dropped);
        ScopedScriptedPrompter prompter;
        prompter->answers.push_back(Prompter::Answer(answer));
        bool wasDropped = false;
        QCOMPARE(TreeWindow::askToSave(nullptr, true, [&] { return saveWorks; }, [&] { wasDropped = true; }), closes);
        QCOMPARE(wasDropped, dropped);
        QCOMPARE(prompter->shown[0].text, QString("数据已经修改，需要保存吗？"));
        QCOMPARE(prompter->shown[0].title, QString("提示信息"));
        QVERIFY(TreeWindow::askToSave(nullptr, false, [] { return false; }, [] {}));
        QCOMPARE(prompter->shown.size(), size_t(1));
    }

    void failedSaveKeepsThePendingRows()
    {
        ScopedScriptedPrompter prompter;
        items->locate("Code", "A");
        items->setValue("Name", "新名");
        items->post();
        db->openAnother()->exec("delete from Asset where Code='A'");
        QVERIFY(!TreeWindow::save(db->conn(), {items.get()}, "保存失败！"));
        QCOMPARE(prompter->texts(), QStringList{"保存失败！"});
        QVERIFY(items->hasPendingUpdates());
        QVERIFY(!db->conn().inTransaction());
    }
};

QTEST_MAIN(TestCommonWidgets)
#include "tst_common_widgets.moc"
