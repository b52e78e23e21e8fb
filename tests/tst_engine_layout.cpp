// The report engine on small templates written here: how bands fall onto
// pages, groups and their totals, formats, variables, and the messages of a
// template that cannot be used.
#include "common/prompter.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportexpr.h"
#include "reports/engine/reportlayout.h"
#include "reports/engine/reportpreview.h"
#include "reports/engine/reporttemplate.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A list template: A4 portrait, 10 mm margins (277 mm of height), with a
// title, a page header, groups on Dept, rows of 10 mm and a page footer.
QByteArray listTemplate(const QString &dataExtra = QString())
{
    return QStringLiteral(R"({
      "title": "清单",
      "page": {"paper": "A4", "margins": 10},
      "bands": [
        {"type": "reportTitle", "height": 20, "objects": [
          {"type": "text", "x": 0, "y": 0, "width": 190, "height": 10, "text": "物品清单 [cxrq]", "align": "center"}]},
        {"type": "pageHeader", "height": 7, "objects": [
          {"type": "text", "x": 0, "y": 0, "width": 40, "height": 7, "text": "物品编号", "frame": "all"}]},
        {"type": "groupHeader", "condition": "[Dept]", "height": 8, "objects": [
          {"type": "text", "x": 0, "y": 0, "width": 100, "height": 8, "text": "部门：[Dept]"}]},
        {"type": "data", "height": 10 %1, "objects": [
          {"type": "text", "x": 0, "y": 0, "width": 40, "height": 10, "text": "[Code]"},
          {"type": "text", "x": 40, "y": 0, "width": 40, "height": 10, "text": "[Price:#,##0.00]", "align": "right"}]},
        {"type": "groupFooter", "height": 8, "objects": [
          {"type": "text", "x": 0, "y": 0, "width": 190, "height": 8, "text": "小计 [COUNT()] 件 [SUM(Price):#,##0.00]"}]},
        {"type": "reportSummary", "height": 8, "objects": [
          {"type": "text", "x": 0, "y": 0, "width": 190, "height": 8, "text": "总计 [COUNT] 件 [SUM(Price):%2.2n]"}]},
        {"type": "pageFooter", "height": 7, "objects": [
          {"type": "text", "x": 0, "y": 0, "width": 60, "height": 7, "text": "[dwmc]"},
          {"type": "text", "x": 60, "y": 0, "width": 70, "height": 7, "text": "[Date:YYYY年MM月DD日]"},
          {"type": "text", "x": 130, "y": 0, "width": 60, "height": 7, "text": "第 [Page] 页 共 [TotalPages] 页"}]}
      ]})")
        .arg(dataExtra)
        .toUtf8();
}

RowsReportData rows(const QList<QPair<QString, double>> &deptPrices)
{
    RowsReportData d({QStringLiteral("Code"), QStringLiteral("DEPT"), QStringLiteral("Price")}, {});
    int n = 0;
    for (const auto &dp : deptPrices)
        d.append({QStringLiteral("C%1").arg(++n, 3, 10, QLatin1Char('0')), dp.first, dp.second});
    return d;
}

ReportDocument layout(const ReportTemplate &tpl, const ReportData &data, ReportVariables vars = {}, QDate today = QDate(2024, 3, 5))
{
    ReportInput in;
    in.tpl = &tpl;
    in.data = &data;
    in.variables = std::move(vars);
    in.today = today;
    return layoutReport(in);
}

const ReportPrimitive *findText(const ReportPage &p, const QString &text)
{
    for (const ReportPrimitive &item : p.items)
        if (item.kind == ReportPrimitive::Text && item.text == text)
            return &item;
    return nullptr;
}

ReportVariables orgAndDate()
{
    ReportVariables v;
    v.values.insert(QStringLiteral("dwmc"), QStringLiteral("示范单位"));
    v.values.insert(QStringLiteral("CXRQ"), QStringLiteral("2024年03月05日"));
    return v;
}

} // namespace

class TestEngineLayout : public QObject {
    Q_OBJECT
private slots:
    void formats_data();
    void formats();
    void groupsAndTotals();
    void nestedGroups();
    void bandsThatDoNotFitMoveToTheNextPage();
    void pageFooterOnEveryPage();
    void streamedPagesMatchHeldPages();
    void dataBandStartingNewPages();
    void columnsFlowDownOrAcross_data();
    void columnsFlowDownOrAcross();
    void variablesAskedOnceAndUnknownNamesRefused();
    void brokenTemplates_data();
    void brokenTemplates();
    void missingTemplateAndLocalOverride();
    void previewReportToldTheFault();
};

void TestEngineLayout::formats_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    const QDateTime dt(QDate(2024, 3, 5), QTime(0, 0));
    QTest::newRow("long date") << QVariant(dt) << "YYYY年MM月DD日" << "2024年03月05日";
    QTest::newRow("long date lower case") << QVariant(QDate(2024, 12, 25)) << "yyyy年mm月dd日" << "2024年12月25日";
    QTest::newRow("short date") << QVariant(dt) << "date" << "2024/3/5";
    QTest::newRow("natural date") << QVariant(dt) << "" << "2024/3/5";
    QTest::newRow("date stored as text") << QVariant("2024-03-05 00:00:00") << "YYYY年MM月DD日" << "2024年03月05日";
    QTest::newRow("money") << QVariant(1234567.891) << "#,##0.00" << "1,234,567.89";
    QTest::newRow("money %2.2n") << QVariant(-1234.5) << "%2.2n" << "-1,234.50";
    QTest::newRow("money from text") << QVariant("9876.5") << "#,##0.00" << "9,876.50";
    QTest::newRow("0.## whole") << QVariant(5000.0) << "0.##" << "5000";
    QTest::newRow("0.## rounds") << QVariant(12.345) << "0.##" << "12.35";
    QTest::newRow("0.## one decimal") << QVariant(0.1 + 0.2) << "0.##" << "0.3";
    QTest::newRow("0.00") << QVariant(3.0) << "0.00" << "3.00";
    QTest::newRow("natural double") << QVariant(2.5) << "" << "2.5";
    QTest::newRow("null") << QVariant() << "#,##0.00" << "";
    QTest::newRow("text under a number format") << QVariant("台") << "0.##" << "台";
}

void TestEngineLayout::formats()
{
    QFETCH(QVariant, value);
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QVERIFY(isKnownReportFormat(format));
    QCOMPARE(formatReportValue(value, format), expected);
}

void TestEngineLayout::groupsAndTotals()
{
    const ReportTemplate tpl = ReportTemplate::fromJson(listTemplate(), QStringLiteral("list"));
    // Two departments; the second starts again after a different one: a new group each time the value changes.
    const RowsReportData data = rows({{"财务", 1000.5}, {"财务", 2000.25}, {"信息", 300}, {"财务", 5}});
    const ReportDocument doc = layout(tpl, data, orgAndDate());
    QCOMPARE(doc.pageCount(), 1);
    QStringList texts = doc.pages[0].texts();
    // The page footer is placed when the page closes, after everything else.
    const QStringList expected{"物品清单 2024年03月05日", "物品编号",
                               "部门：财务", "C001", "1,000.50", "C002", "2,000.25", "小计 2 件 3,000.75",
                               "部门：信息", "C003", "300.00", "小计 1 件 300.00",
                               "部门：财务", "C004", "5.00", "小计 1 件 5.00",
                               "总计 4 件 3,305.75",
                               "示范单位", "2024年03月05日", "第 1 页 共 1 页"};
    QCOMPARE(texts, expected);

    // Title on top, page header under it, rows one under the other.
    const ReportPage &p = doc.pages[0];
    QCOMPARE(findText(p, "物品清单 2024年03月05日")->rect.top(), 10.0);
    QCOMPARE(findText(p, "物品编号")->rect.top(), 30.0);
    QCOMPARE(findText(p, "部门：财务")->rect.top(), 37.0);
    QCOMPARE(findText(p, "C001")->rect.top(), 45.0);
    QCOMPARE(findText(p, "C002")->rect.top(), 55.0);
    QCOMPARE(findText(p, "1,000.50")->align & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    // The footer sits at the bottom of the printable area: 297 - 10 - 7.
    QCOMPARE(findText(p, "示范单位")->rect.top(), 280.0);
    // A framed cell brings its four rules.
    int lines = 0;
    for (const ReportPrimitive &item : p.items)
        lines += item.kind == ReportPrimitive::Line && item.band == ReportBand::PageHeader;
    QCOMPARE(lines, 4);
}

void TestEngineLayout::nestedGroups()
{
    // Department, then category inside it; each footer closes its own group, the inner first.
    const QByteArray json = R"({"bands": [
        {"type": "groupHeader", "condition": "[Dept]", "height": 5, "objects": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 5, "text": "部门：[Dept]"}]},
        {"type": "groupHeader", "condition": "[Cat]", "height": 5, "objects": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 5, "text": "分类：[Cat] 共 [COUNT()] 件"}]},
        {"type": "data", "height": 5, "objects": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 5, "text": "[Code] [Price:0.##]"}]},
        {"type": "groupFooter", "height": 5, "objects": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 5, "text": "分类小计 [SUM(Price):0.##]"}]},
        {"type": "groupFooter", "height": 5, "objects": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 5, "text": "部门小计 [COUNT()] [SUM(Price):0.##] 最高 [MAX(Price)]"}]},
        {"type": "reportSummary", "height": 5, "objects": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 5, "text": "总计 [COUNT()] [AVG(Price):0.00]"}]}]})";
    const ReportTemplate tpl = ReportTemplate::fromJson(json, QStringLiteral("nested"));
    // An empty department sorts first and forms a group of its own; the same
    // category under another department is another group.
    const RowsReportData data({"Dept", "Cat", "Code", "Price"}, {{QVariant(), "01", "A", 1.5},
                                                                 {"财务", "01", "B", 2},
                                                                 {"财务", "01", "C", 3},
                                                                 {"财务", "02", "D", QVariant()},
                                                                 {"信息", "02", "E", 10}});
    const ReportDocument doc = layout(tpl, data);
    const QStringList expected{"部门：", "分类：01 共 1 件", "A 1.5", "分类小计 1.5", "部门小计 1 1.5 最高 1.5",
                               "部门：财务", "分类：01 共 2 件", "B 2", "C 3", "分类小计 5",
                               "分类：02 共 1 件", "D ", "分类小计 0", "部门小计 3 5 最高 3",
                               "部门：信息", "分类：02 共 1 件", "E 10", "分类小计 10", "部门小计 1 10 最高 10",
                               "总计 5 4.13"};
    QCOMPARE(doc.pages[0].texts(), expected);
}

void TestEngineLayout::bandsThatDoNotFitMoveToTheNextPage()
{
    const ReportTemplate tpl = ReportTemplate::fromJson(listTemplate(), QStringLiteral("list"));
    QList<QPair<QString, double>> list;
    for (int i = 0; i < 60; ++i)
        list.append({i < 30 ? QStringLiteral("A") : QStringLiteral("B"), 1.0});
    const RowsReportData data = rows(list);
    const ReportDocument doc = layout(tpl, data, orgAndDate());
    QVERIFY(doc.pageCount() >= 3);
    const double bodyBottom = 297 - 10 - 7;
    QList<int> seen;
    for (int pg = 0; pg < doc.pageCount(); ++pg) {
        const ReportPage &page = doc.pages[pg];
        // Nothing of the body runs into the page footer, and every page but the first repeats the header.
        for (const ReportPrimitive &item : page.items)
            if (item.band != ReportBand::PageFooter)
                QVERIFY2(item.rect.bottom() <= bodyBottom + 0.001, qPrintable(item.text));
        QCOMPARE(page.texts().count("物品编号"), 1);
        if (pg > 0)
            QCOMPARE(findText(page, "物品编号")->rect.top(), 10.0);
        seen += page.rowsOnPage();
    }
    // Every row once, in order, none lost at a page break.
    QCOMPARE(seen.size(), 60);
    for (int i = 0; i < 60; ++i)
        QCOMPARE(seen[i], i);
    // A group header is never left alone at the bottom of a page: the row under it is on the same page.
    for (const ReportPage &page : doc.pages) {
        const QStringList t = page.texts();
        const int h = t.indexOf("部门：B");
        if (h >= 0)
            QVERIFY(t.value(h + 1).startsWith("C"));
    }
    QVERIFY(doc.pages.last().texts().contains("总计 60 件 60.00"));
}

void TestEngineLayout::pageFooterOnEveryPage()
{
    const ReportTemplate tpl = ReportTemplate::fromJson(listTemplate(), QStringLiteral("list"));
    QList<QPair<QString, double>> list;
    for (int i = 0; i < 80; ++i)
        list.append({QStringLiteral("A"), 1.0});
    const RowsReportData data = rows(list);
    const ReportDocument doc = layout(tpl, data, orgAndDate(), QDate(2024, 11, 9));
    QVERIFY(doc.pageCount() >= 3);
    for (int pg = 0; pg < doc.pageCount(); ++pg) {
        const QStringList t = doc.pages[pg].texts();
        QVERIFY(t.contains(QStringLiteral("第 %1 页 共 %2 页").arg(pg + 1).arg(doc.pageCount())));
        QVERIFY(t.contains("示范单位"));
        QVERIFY(t.contains("2024年11月09日"));
    }
}

void TestEngineLayout::streamedPagesMatchHeldPages()
{
    const ReportTemplate tpl = ReportTemplate::fromJson(listTemplate(), QStringLiteral("list"));
    QList<QPair<QString, double>> list;
    for (int i = 0; i < 70; ++i)
        list.append({i < 40 ? QStringLiteral("A") : QStringLiteral("B"), 1.0});
    const RowsReportData data = rows(list);
    const ReportDocument held = layout(tpl, data, orgAndDate());
    QVERIFY(held.pageCount() >= 3);

    ReportInput in;
    in.tpl = &tpl;
    in.data = &data;
    in.variables = orgAndDate();
    in.today = QDate(2024, 3, 5);
    in.totalPages = held.pageCount();
    QList<QStringList> streamed;
    in.pageSink = [&](ReportPage &page, int number) {
        streamed.append(page.texts());
        return number < 2; // stop after the second page
    };
    const ReportDocument doc = layoutReport(in);
    QVERIFY(doc.pages.isEmpty());
    QCOMPARE(doc.pageCount(), 2);
    QCOMPARE(streamed.size(), 2);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(streamed[i], held.pages[i].texts());
    QVERIFY(usesTotalPages(tpl));
}

void TestEngineLayout::dataBandStartingNewPages()
{
    // One page per row, as a bill form prints.
    const ReportTemplate tpl = ReportTemplate::fromJson(listTemplate(R"(, "startNewPage": true)"), QStringLiteral("list"));
    const RowsReportData data = rows({{"A", 1}, {"A", 2}, {"B", 3}});
    const ReportDocument doc = layout(tpl, data, orgAndDate());
    QCOMPARE(doc.pageCount(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(doc.pages[i].rowsOnPage(), QList<int>{i});
}

void TestEngineLayout::columnsFlowDownOrAcross_data()
{
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QList<QPointF>>("positions"); // of rows 0..3
    // Two columns of 50 mm on a custom 120 x 60 mm sheet with 10 mm margins (40 mm high): two rows of 20 mm a column.
    QTest::newRow("down") << "down" << QList<QPointF>{{10, 10}, {10, 30}, {60, 10}, {60, 30}};
    QTest::newRow("across") << "across" << QList<QPointF>{{10, 10}, {60, 10}, {10, 30}, {60, 30}};
}

void TestEngineLayout::columnsFlowDownOrAcross()
{
    QFETCH(QString, flow);
    QFETCH(QList<QPointF>, positions);
    const QByteArray json = QStringLiteral(R"({"page": {"paper": {"width": 120, "height": 60}, "margins": 10, "columns": 2,
        "columnWidth": 50, "columnFlow": "%1"},
        "bands": [{"type": "data", "height": 20, "objects": [
          {"type": "rect", "x": 0, "y": 0, "width": 48, "height": 18, "radius": 2},
          {"type": "text", "x": 1, "y": 1, "width": 40, "height": 8, "text": "[Code]"}]}]})")
                                .arg(flow)
                                .toUtf8();
    const ReportTemplate tpl = ReportTemplate::fromJson(json, QStringLiteral("cols"));
    const RowsReportData data = rows({{"A", 1}, {"A", 1}, {"A", 1}, {"A", 1}, {"A", 1}});
    const ReportDocument doc = layout(tpl, data);
    QCOMPARE(doc.pageCount(), 2);
    QCOMPARE(doc.pages[0].rowsOnPage(), (QList<int>{0, 1, 2, 3}));
    QCOMPARE(doc.pages[1].rowsOnPage(), QList<int>{4});
    QList<QPointF> got;
    for (const ReportPrimitive &p : doc.pages[0].items)
        if (p.kind == ReportPrimitive::Rect) {
            QCOMPARE(p.radius, 2.0);
            got.append(p.rect.topLeft());
        }
    QCOMPARE(got, positions);
}

void TestEngineLayout::variablesAskedOnceAndUnknownNamesRefused()
{
    const QByteArray json = R"({"bands": [
        {"type": "reportTitle", "height": 10, "objects": [{"type": "text", "x": 0, "y": 0, "width": 100, "height": 10, "text": "[datespac]"}]},
        {"type": "data", "height": 10, "objects": [{"type": "text", "x": 0, "y": 0, "width": 100, "height": 10, "text": "[Code] [datespac]"}]}]})";
    const ReportTemplate tpl = ReportTemplate::fromJson(json, QStringLiteral("vars"));
    const RowsReportData data = rows({{"A", 1}, {"A", 2}, {"A", 3}});
    QStringList asked;
    ReportVariables vars;
    vars.ask = [&](const QString &name) -> std::optional<QVariant> {
        asked << name;
        if (name == QLatin1String("datespac"))
            return QVariant(QStringLiteral("2024年02月01日 至 2024年02月29日"));
        return std::nullopt;
    };
    const ReportDocument doc = layout(tpl, data, vars);
    QCOMPARE(asked, QStringList{"datespac"});
    QCOMPARE(doc.pages[0].texts().value(1), QStringLiteral("C001 2024年02月01日 至 2024年02月29日"));

    // A name that is neither a field nor a variable stops the report before any page.
    const ReportTemplate typo = ReportTemplate::fromJson(QByteArray(json).replace("[Code]", "[Cdoe]"), QStringLiteral("vars"));
    try {
        layout(typo, data, vars);
        QFAIL("an unknown name was accepted");
    } catch (const ReportError &e) {
        QCOMPARE(e.message(), QStringLiteral("报表模板“vars”无法使用：“[Cdoe]”既不是数据中的字段，也不是报表变量"));
    }
    // So does an aggregate of a missing field.
    const ReportTemplate badSum = ReportTemplate::fromJson(QByteArray(json).replace("[Code]", "[SUM(Cost)]"), QStringLiteral("vars"));
    QVERIFY_THROWS_EXCEPTION(ReportError, layout(badSum, data, vars));
}

void TestEngineLayout::brokenTemplates_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("fault");
    const QByteArray okBand = R"({"type": "data", "height": 10, "objects": [%1]})";
    auto withObject = [&](const char *obj) { return QByteArray(R"({"bands": [)") + QString::fromUtf8(okBand).arg(QString::fromUtf8(obj)).toUtf8() + "]}"; };
    QTest::newRow("not JSON") << QByteArray("{\n\"bands\": [\n{\"type\": \"data\",, }]}") << "第 3 行 JSON 格式错误";
    QTest::newRow("not an object") << QByteArray("[1, 2]") << "内容应当是一个 JSON 对象";
    QTest::newRow("no bands") << QByteArray(R"({"title": "x"})") << "缺少带区列表“bands”";
    QTest::newRow("unknown band") << QByteArray(R"({"bands": [{"type": "detail", "height": 5}]})") << "第 1 个带区的类型“detail”不认识";
    QTest::newRow("unknown object") << withObject(R"({"type": "circle", "x": 0, "y": 0, "width": 5, "height": 5})")
                                    << "带区“data”的第 1 个对象的类型“circle”不认识";
    QTest::newRow("unknown property") << withObject(R"({"type": "text", "x": 0, "y": 0, "width": 5, "height": 5, "txet": "a"})")
                                      << "有不认识的属性“txet”";
    QTest::newRow("unclosed bracket") << withObject(R"({"type": "text", "x": 0, "y": 0, "width": 5, "height": 5, "text": "[Code"})")
                                      << "没有对应的“]”";
    QTest::newRow("unknown function") << withObject(R"({"type": "text", "x": 0, "y": 0, "width": 5, "height": 5, "text": "[TOTAL(Price)]"})")
                                      << "不认识的函数“TOTAL”";
    QTest::newRow("unknown format") << withObject(R"({"type": "text", "x": 0, "y": 0, "width": 5, "height": 5, "text": "[Price:#.#]"})")
                                    << "不认识的显示格式“#.#”";
    QTest::newRow("barcode without data") << withObject(R"({"type": "barcode", "x": 0, "y": 0, "width": 5, "height": 5})")
                                          << "缺少条码内容“data”";
    QTest::newRow("band taller than a page") << QByteArray(R"({"bands": [{"type": "data", "height": 300}]})") << "一页放不下";
    QTest::newRow("columns wider than the page")
        << QByteArray(R"({"page": {"columns": 3, "columnWidth": 70}, "bands": [{"type": "data", "height": 10}]})") << "超出了可打印宽度";
    QTest::newRow("footer without header")
        << QByteArray(R"({"bands": [{"type": "data", "height": 10}, {"type": "groupFooter", "height": 5}]})") << "分组尾没有对应的分组头";
    QTest::newRow("two data bands")
        << QByteArray(R"({"bands": [{"type": "data", "height": 10}, {"type": "data", "height": 5}]})") << "同一种带区只能有一个";
    QTest::newRow("unknown paper") << QByteArray(R"({"page": {"paper": "A9"}, "bands": [{"type": "data", "height": 10}]})")
                                   << "纸张“A9”不认识";
    // Counts far beyond an int are refused before they are converted.
    QTest::newRow("columns beyond an int")
        << QByteArray(R"({"page": {"columns": 1e20}, "bands": [{"type": "data", "height": 10}]})") << "“columns”应当在 1 到 100 之间";
    QTest::newRow("no columns") << QByteArray(R"({"page": {"columns": 0}, "bands": [{"type": "data", "height": 10}]})")
                                << "分栏数应当至少为 1";
    QTest::newRow("level beyond an int")
        << QByteArray(R"({"bands": [{"type": "groupHeader", "condition": "[Code]", "height": 5}, {"type": "data", "height": 10},)"
                      R"( {"type": "groupFooter", "level": 1e20, "height": 5}]})")
        << "“level”应当在 -1 到 1000 之间";
    QTest::newRow("level below an int")
        << QByteArray(R"({"bands": [{"type": "data", "height": 10, "level": -3e9}]})") << "“level”应当在 -1 到 1000 之间";
}

void TestEngineLayout::brokenTemplates()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, fault);
    try {
        ReportTemplate::fromJson(json, QStringLiteral("broken-form"));
        QFAIL("a broken template was accepted");
    } catch (const ReportError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("报表模板“broken-form”无法使用：")), qPrintable(e.message()));
        QVERIFY2(e.message().contains(fault), qPrintable(e.message()));
    }
}

void TestEngineLayout::missingTemplateAndLocalOverride()
{
    QTemporaryDir dir;
    ReportTemplate::setOverrideFolder(dir.path());
    auto restore = qScopeGuard([] { ReportTemplate::setOverrideFolder(QString()); });

    QVERIFY_THROWS_EXCEPTION(ReportError, ReportTemplate::load(QStringLiteral("no-such-form")));
    try {
        ReportTemplate::load(QStringLiteral("no-such-form"));
    } catch (const ReportError &e) {
        QCOMPARE(e.message(), QStringLiteral("报表模板“no-such-form”无法使用：找不到模板文件 no-such-form.json"));
    }

    // The compiled-in card template, until a file of the same name lies in the folder.
    QCOMPARE(ReportTemplate::load(QStringLiteral("item-cards")).title, QStringLiteral("物品卡片"));
    QFile f(QDir(dir.path()).filePath(QStringLiteral("item-cards.json")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(R"({"title": "本单位卡片", "bands": [{"type": "data", "height": 50}]})");
    f.close();
    QCOMPARE(ReportTemplate::load(QStringLiteral("item-cards")).title, QStringLiteral("本单位卡片"));
    QCOMPARE(ReportTemplate::sourcePath(QStringLiteral("item-cards")), f.fileName());
}

void TestEngineLayout::previewReportToldTheFault()
{
    // A broken local copy of a template: the user gets the message, no preview opens.
    QTemporaryDir dir;
    ReportTemplate::setOverrideFolder(dir.path());
    auto restore = qScopeGuard([] {
        ReportTemplate::setOverrideFolder(QString());
        setReportPreviewHook({});
    });
    QFile f(QDir(dir.path()).filePath(QStringLiteral("item-labels.json")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("{ \"bands\": [ ");
    f.close();
    int previews = 0;
    setReportPreviewHook([&](const ReportDocument &) { ++previews; });
    ScopedScriptedPrompter prompter;
    const RowsReportData data = rows({{"A", 1}});
    QVERIFY(!previewReport(QStringLiteral("item-labels"), data, {}, nullptr));
    QCOMPARE(previews, 0);
    QCOMPARE(prompter->shown.size(), size_t(1));
    QVERIFY(prompter->lastText().startsWith(QStringLiteral("报表模板“item-labels”无法使用：第 1 行 JSON 格式错误")));
}

QTEST_MAIN(TestEngineLayout)
#include "tst_engine_layout.moc"
