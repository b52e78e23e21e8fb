// Item cards and labels over a ledger dataset: three cards and ten labels a
// page, the barcode of each item's code, the footer, the date forms, and the
// ledger window's print buttons over the rows it lists.
#include "common/prompter.h"
#include "data/dataset.h"
#include "data/schema.h"
#include "reports/engine/barcode.h"
#include "reports/engine/itemprints.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportpreview.h"
#include "support/testdb.h"

#include <QTest>

namespace {

void addItem(Connection &conn, const QString &code, const QString &type, const QString &name)
{
    conn.exec(QStringLiteral("insert into Asset (Code, Name, Type, Unit, Price, Model, Manufacturer, ManufactureDate, BuyDate, "
                             "BuildDate, keeper, State) values (:code, :name, :type, '台', 5000.5, 'M720', '联想', :md, :bd, :bld, '李四', 1)"),
              {{"code", code},
               {"name", name},
               {"type", type},
               {"md", QDateTime(QDate(2023, 5, 6), QTime(0, 0))},
               {"bd", QDateTime(QDate(2024, 3, 15), QTime(0, 0))},
               {"bld", QDateTime(QDate(2024, 3, 16), QTime(0, 0))}});
}

struct Ledger {
    TestDb db{Engine::SQLite};
    Dataset ds{&db.conn()};
    explicit Ledger(int items, const QString &type = QStringLiteral("0001"))
    {
        for (int i = 1; i <= items; ++i)
            addItem(db.conn(), type + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')), type, QStringLiteral("物品%1").arg(i));
        ds.setTable(QStringLiteral("Asset"));
        ds.setSort(QStringLiteral("Code"));
        ds.open();
    }
};

QList<const ReportPrimitive *> barcodes(const ReportPage &page)
{
    QList<const ReportPrimitive *> out;
    for (const ReportPrimitive &p : page.items)
        if (p.kind == ReportPrimitive::Barcode)
            out.append(&p);
    return out;
}

// The codes of the items a document shows, in order.
QStringList codesOf(const ReportDocument &doc)
{
    QStringList out;
    for (const ReportPage &p : doc.pages)
        for (const ReportPrimitive *b : barcodes(p))
            out << b->text;
    return out;
}

// A Code 128 symbol of n data characters: start, n data, check, then the stop
// of 13 modules; three bars each, four in the stop.
void verifyCode128(const ReportPrimitive &b, const QString &code)
{
    QCOMPARE(b.symbolText, code);
    QCOMPARE(b.modules, 11 * int(code.size()) + 35);
    QCOMPARE(int(b.bars.size()), 3 * int(code.size()) + 10);
    for (const QRectF &bar : b.bars)
        QVERIFY(b.rect.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(bar));
    // The bars span the symbol's full width.
    double left = 1e9, right = -1e9;
    for (const QRectF &bar : b.bars) {
        left = qMin(left, bar.left());
        right = qMax(right, bar.right());
    }
    QVERIFY(qAbs(left - b.rect.left()) < 0.01);
    QVERIFY(qAbs(right - b.rect.right()) < 0.01);
}

} // namespace

class TestEngineItems : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { setReportPreviewHook({}); }
    void cardsThreeToAPage();
    void labelsTenToAPageInTwoColumns();
    void barcodeSymbols_data();
    void barcodeSymbols();
    void printButtonsRunOverTheListedRows();
    void codeNoBarcodeCanHold();
    void cardsOfALedgerStillBeingReadCoverEveryItem();
};

void TestEngineItems::cardsOfALedgerStillBeingReadCoverEveryItem()
{
    // A large ledger arrives in the background; printing its cards before
    // the last rows are in must still print every one.
    struct Restore {
        ~Restore() { Dataset::setBackgroundRows(200000, 2000); }
    } restore;
    Dataset::setBackgroundRows(10, 4);
    Ledger l(25);
    QVERIFY(l.ds.isLoading());
    QCOMPARE(l.ds.recordCount(), 4);
    const DatasetReportData rows(l.ds);
    QCOMPARE(rows.rowCount(), 25);
    const ReportDocument doc = layoutItemCards(rows, QStringLiteral("示范大学资产管理处"), QDate(2026, 1, 2));
    QCOMPARE(codesOf(doc).size(), 25);
    QCOMPARE(codesOf(doc).last(), QStringLiteral("00010025"));
}

void TestEngineItems::cardsThreeToAPage()
{
    Ledger l(7);
    const DatasetReportData rows(l.ds);
    const ReportDocument doc = layoutItemCards(rows, QStringLiteral("示范大学资产管理处"), QDate(2026, 1, 2));
    QCOMPARE(doc.pageCount(), 3);
    QCOMPARE(doc.page.paper, QPageSize::A4);
    QCOMPARE(doc.page.orientation, QPageLayout::Portrait);
    const QList<QList<int>> perPage{{0, 1, 2}, {3, 4, 5}, {6}};
    for (int pg = 0; pg < 3; ++pg) {
        const ReportPage &page = doc.pages[pg];
        QCOMPARE(page.rowsOnPage(), perPage[pg]);
        const QStringList t = page.texts();
        QCOMPARE(t.count(QStringLiteral("物品卡片")), perPage[pg].size());
        // Footer: organisation, printing date, page number.
        QVERIFY(t.contains(QStringLiteral("示范大学资产管理处")));
        QVERIFY(t.contains(QStringLiteral("2026年01月02日")));
        QVERIFY(t.contains(QStringLiteral("第 %1 页").arg(pg + 1)));
        // Cards 88 mm apart from the top margin; each with its item's barcode.
        const QList<const ReportPrimitive *> codes = barcodes(page);
        QCOMPARE(codes.size(), perPage[pg].size());
        for (int i = 0; i < codes.size(); ++i) {
            const QString code = QStringLiteral("0001%1").arg(perPage[pg][i] + 1, 4, 10, QLatin1Char('0'));
            QCOMPARE(codes[i]->text, code);
            verifyCode128(*codes[i], code);
            QCOMPARE(codes[i]->rect.size(), QSizeF(32, 14));
            QVERIFY(qAbs(codes[i]->rect.top() - (10 + 88 * i + 2)) < 0.001);
        }
    }
    // The card's values, with the three dates printed long and the price as "0.##".
    const QStringList first = doc.pages[0].texts();
    for (const char *s : {"00010001", "物品1", "M720", "台", "5000.5", "联想", "2023年05月06日", "2024年03月15日", "2024年03月16日", "李四",
                          "物品编号", "物品名称", "详细配置", "技术状态"})
        QVERIFY2(first.contains(QString::fromUtf8(s)), s);
    // Nothing of a card runs into the footer or off the sheet.
    for (const ReportPage &page : doc.pages)
        for (const ReportPrimitive &p : page.items)
            QVERIFY(p.rect.bottom() <= 287.001 && p.rect.right() <= 200.001);
}

void TestEngineItems::labelsTenToAPageInTwoColumns()
{
    Ledger l(23);
    const DatasetReportData rows(l.ds);
    const ReportDocument doc = layoutItemLabels(rows);
    QCOMPARE(doc.pageCount(), 3);
    QCOMPARE(doc.pages[0].rowsOnPage().size(), 10);
    QCOMPARE(doc.pages[1].rowsOnPage().size(), 10);
    QCOMPARE(doc.pages[2].rowsOnPage().size(), 3);
    for (const ReportPage &page : doc.pages) {
        int i = 0;
        for (const ReportPrimitive &p : page.items) {
            if (p.kind != ReportPrimitive::Rect)
                continue;
            // Label i: column i % 2 of 95 mm, row i / 2 of 54 mm; a rounded 93 x 50 mm frame.
            QCOMPARE(p.rect.topLeft(), QPointF(10 + 95 * (i % 2) + 1, 10 + 54 * (i / 2) + 2));
            QCOMPARE(p.rect.size(), QSizeF(93, 50));
            QVERIFY(p.radius > 0);
            ++i;
        }
        // No title and no footer on labels.
        QVERIFY(!page.texts().contains(QStringLiteral("第 1 页")));
    }
    QCOMPARE(codesOf(doc).size(), 23);
    QCOMPARE(codesOf(doc).first(), QStringLiteral("00010001"));
    verifyCode128(*barcodes(doc.pages[2]).last(), QStringLiteral("00010023"));
    const QStringList t = doc.pages[0].texts();
    for (const char *s : {"物品编号", "物品名称", "规格型号", "生产厂家", "出厂日期", "保管人员", "2023/5/6", "李四", "物品1"})
        QVERIFY2(t.contains(QString::fromUtf8(s)), s);
}

void TestEngineItems::barcodeSymbols_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("ok");
    QTest::newRow("item code") << "00010001" << true;
    QTest::newRow("letters and blanks") << "AB-12 x/Z" << true;
    QTest::newRow("chinese") << "编号1" << false;
    QTest::newRow("latin-1") << "café" << false;
    QTest::newRow("empty") << "" << false;
}

void TestEngineItems::barcodeSymbols()
{
    QFETCH(QString, data);
    QFETCH(bool, ok);
    const Code128Symbol s = encodeCode128B(data);
    QCOMPARE(s.ok, ok);
    if (ok) {
        QCOMPARE(s.text, data);
        QCOMPARE(s.modules, 11 * int(data.size()) + 35);
    } else {
        QVERIFY(s.bars.isEmpty());
        QVERIFY(!s.error.isEmpty());
    }
}

void TestEngineItems::printButtonsRunOverTheListedRows()
{
    Ledger l(4, QStringLiteral("0001"));
    for (int i = 1; i <= 3; ++i)
        addItem(l.db.conn(), QStringLiteral("0002%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("0002"), QStringLiteral("车辆"));
    l.ds.requery();
    // The window lists category 0001 newest first, with one item typed in and
    // not saved and one deleted and not saved.
    l.ds.setFilterText(QStringLiteral("type like '0001%'"));
    l.ds.setFiltered(true);
    l.ds.setSort(QStringLiteral("Code DESC"));
    l.ds.append();
    l.ds.setValue(QStringLiteral("Type"), QStringLiteral("0001"));
    l.ds.setValue(QStringLiteral("Code"), QStringLiteral("00010009"));
    l.ds.setValue(QStringLiteral("Name"), QStringLiteral("新物品"));
    l.ds.post();
    QVERIFY(l.ds.locate(QStringLiteral("Code"), QStringLiteral("00010002")));
    l.ds.remove();
    QVERIFY(l.ds.locate(QStringLiteral("Code"), QStringLiteral("00010003")));
    const Dataset::Bookmark current = l.ds.bookmark();

    QList<ReportDocument> shown;
    setReportPreviewHook([&](const ReportDocument &d) { shown.append(d); });
    ScopedScriptedPrompter prompter;
    QVERIFY(printItemCards(l.ds, nullptr, QStringLiteral("示范单位")));
    QVERIFY(printItemLabels(l.ds, nullptr));
    QCOMPARE(shown.size(), 2);
    const QStringList expected{"00010009", "00010004", "00010003", "00010001"};
    QCOMPARE(codesOf(shown[0]), expected);
    QCOMPARE(codesOf(shown[1]), expected);
    QCOMPARE(shown[0].pageCount(), 2);
    QVERIFY(shown[0].pages[1].texts().contains(QStringLiteral("示范单位")));
    QVERIFY(prompter->shown.empty());

    // The ledger stands as it did: same item, same filter and order, changes still pending.
    QCOMPARE(l.ds.bookmark(), current);
    QCOMPARE(l.ds.asString(QStringLiteral("Code")), QStringLiteral("00010003"));
    QCOMPARE(l.ds.filterText(), QStringLiteral("type like '0001%'"));
    QVERIFY(l.ds.isFiltered());
    QCOMPARE(l.ds.sort(), QStringLiteral("Code DESC"));
    QCOMPARE(l.ds.pendingCount(), 2);
}

void TestEngineItems::codeNoBarcodeCanHold()
{
    // An item entered with a Chinese code: its card prints the code where the bars would be.
    Ledger l(0);
    addItem(l.db.conn(), QStringLiteral("仪器-01"), QStringLiteral("0001"), QStringLiteral("示波器"));
    l.ds.requery();
    const DatasetReportData rows(l.ds);
    const ReportDocument doc = layoutItemCards(rows, QString());
    QCOMPARE(doc.pageCount(), 1);
    const QList<const ReportPrimitive *> codes = barcodes(doc.pages[0]);
    QCOMPARE(codes.size(), 1);
    QVERIFY(codes[0]->bars.isEmpty());
    QVERIFY(codes[0]->symbolText.isEmpty());
    int shown = 0;
    for (const ReportPrimitive &p : doc.pages[0].items)
        if (p.kind == ReportPrimitive::Text && p.text == QStringLiteral("仪器-01") && p.rect == codes[0]->rect)
            ++shown;
    QCOMPARE(shown, 1);
}

QTEST_MAIN(TestEngineItems)
#include "tst_engine_items.moc"
