#include "reports/engine/reportdata.h"
#include "reports/engine/reportlayout.h"
#include "reports/engine/reporttemplate.h"
#include "reports/statreports.h"

#include <QtTest>

// The printed lists laid out over a few rows: groups, subtotals, totals, footers.
class TestPrintedLists : public QObject {
    Q_OBJECT

    static QStringList allTexts(const ReportDocument &doc)
    {
        QStringList out;
        for (const ReportPage &p : doc.pages)
            out += p.texts();
        return out;
    }

    static RowsReportData listRows(bool withDepartment)
    {
        QStringList fields{"TypeCode", "TypeName", "Code", "Name", "Model", "Makeof", "BuyDate", "Price", "DiscardDate", "spare", "zjfs", "NumberofYear", "zcxz"};
        if (withDepartment)
            fields.prepend("Department");
        auto r = [&](const QString &dept, const QString &type, const QString &code, double price) {
            QVariantList row{type, "分类" + type, code, "物品" + code, "M-1", "", QDate(2024, 1, 2), price, QDate(2024, 2, 3), 5.0, "平均年限法", 60, price / 10};
            if (withDepartment)
                row.prepend(dept);
            return row;
        };
        return RowsReportData(fields, {r("", "01", "A1", 1234.5), r("", "01", "A2", 1.0), r("财务部", "01", "A3", 10.0), r("财务部", "02", "B1", 100.0)});
    }

private slots:
    void categoryListGroups()
    {
        const ReportTemplate tpl = ReportTemplate::load(StatReports::categoryList().name);
        RowsReportData rows = listRows(false);
        ReportInput in;
        in.tpl = &tpl;
        in.data = &rows;
        in.variables = StatReports::dateVariables("某某单位", QDate(2024, 5, 10));
        in.today = QDate(2024, 5, 11);
        const QStringList t = allTexts(layoutReport(in));
        for (const char *s : {"物品分类明细列表", "2024年05月10日", "物品分类编号：01", "物品分类名称：分类01", "物品分类编号：02", "分类小计", "物品数量小计：3",
                              "物品原值小计：1,245.50", "物品数量小计：1", "物品原值小计：100.00", "物品总计", "物品数量总计：4", "物品原值总计：1,345.50",
                              "某某单位", "第1页", "1,234.50", "2024/1/2"})
            QVERIFY2(t.contains(QString::fromUtf8(s)), s);
    }

    void departmentListNestsCategoriesInDepartments()
    {
        const ReportTemplate tpl = ReportTemplate::load(StatReports::departmentList().name);
        RowsReportData rows = listRows(true);
        ReportInput in;
        in.tpl = &tpl;
        in.data = &rows;
        in.variables = StatReports::dateVariables("某某单位", QDate(2024, 5, 10));
        const QStringList t = allTexts(layoutReport(in));
        // category 01 appears under both departments, each with its own subtotal
        QCOMPARE(t.count("物品分类编号：01"), 2);
        QVERIFY(t.contains("所属部门名称："));
        QVERIFY(t.contains("所属部门名称：财务部"));
        QVERIFY(t.indexOf("物品分类数量小计：2") < t.indexOf("部门物品数量小计：2"));
        QVERIFY(t.contains("部门物品原值小计：110.00"));
        QVERIFY(t.contains("物品数量总计：4"));
    }

    void maturedAndWriteOffsColumns()
    {
        const ReportTemplate matured = ReportTemplate::load(StatReports::maturedList().name);
        RowsReportData rows = listRows(false);
        ReportInput in;
        in.tpl = &matured;
        in.data = &rows;
        in.variables = StatReports::dateVariables("某某单位", QDate(2024, 5, 10));
        QStringList t = allTexts(layoutReport(in));
        for (const char *s : {"到期资产分类明细列表", "资产分类编号：01", "60月", "平均年限法", "资产现值小计：124.55", "资产现值总计：134.55", "资产数量总计：4", "第1页"})
            QVERIFY2(t.contains(QString::fromUtf8(s)), s);
        QVERIFY(!t.contains("某某单位")); // its footer has the page number only

        const ReportTemplate writeoffs = ReportTemplate::load(StatReports::writeoffsList().name);
        in.tpl = &writeoffs;
        in.variables = StatReports::periodVariables("某某单位", QDate(2024, 2, 1), QDate(2024, 2, 29));
        t = allTexts(layoutReport(in));
        for (const char *s : {"销账物品分类明细列表", "2024年02月01日 至 2024年02月29日", "销账日期", "2024/2/3", "1234.5"})
            QVERIFY2(t.contains(QString::fromUtf8(s)), s);
    }

    void summaryTotals()
    {
        const ReportTemplate tpl = ReportTemplate::load(StatReports::categorySummary().name);
        RowsReportData rows({"Code", "name", "qcsl", "qcjz", "zjsl", "zjjz", "xzsl", "xzjz", "qmsl", "qmjz"},
                            {{"01", "甲", 2, 10.5, 1, 1.25, QVariant(), QVariant(), 3, 11.75}, {"02", "乙", 1, 4.0, QVariant(), QVariant(), 1, 4.0, 1, 4.0}});
        ReportInput in;
        in.tpl = &tpl;
        in.data = &rows;
        in.variables = StatReports::summaryVariables("某某单位", QDate(2024, 2, 1), QDate(2024, 2, 29));
        in.today = QDate(2024, 3, 15);
        const ReportDocument doc = layoutReport(in);
        QCOMPARE(doc.page.orientation, QPageLayout::Landscape);
        const QStringList t = allTexts(doc);
        for (const char *s : {"物品分类汇总表", "2024年02月01日 至 2024年02月29日", "期初结存", "本期新增", "本期销账", "期末结存", "合        计", "14.5", "15.75",
                              "制表日期：2024年03月15日", "某某单位", "第1页"})
            QVERIFY2(t.contains(QString::fromUtf8(s)), s);
    }

    void loanAndRepairLists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("caption");
        QTest::newRow("loans") << StatReports::loanList().name << "物品借用单列表" << "借用人员";
        QTest::newRow("repairs") << StatReports::repairList().name << "物品维修单列表" << "维修单位";
    }
    void loanAndRepairLists()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QFETCH(QString, caption);
        const ReportTemplate tpl = ReportTemplate::load(name);
        RowsReportData rows({"Code", "AssetCode", "Name", "Model", "Loaner", "Loankeeper", "LoanDate", "BackDate", "StateName", "ServiceDept", "Deliver", "ServiceDate"},
                            {{"2024030101", "A1", "电脑", "M", "张三", "李四", QDate(2024, 3, 1), QVariant(), "借用未归还", "维修站", "王五", QDate(2024, 3, 2)}});
        ReportInput in;
        in.tpl = &tpl;
        in.data = &rows;
        in.variables = StatReports::organisationVariables("某某单位");
        in.today = QDate(2024, 3, 15);
        const ReportDocument doc = layoutReport(in);
        QCOMPARE(doc.page.orientation, QPageLayout::Landscape);
        const QStringList t = allTexts(doc);
        for (const QString &s : {title, caption, QStringLiteral("2024年03月15日"), QStringLiteral("借用未归还"), QStringLiteral("某某单位"), QStringLiteral("第1页")})
            QVERIFY2(t.contains(s), qPrintable(s));
    }
};

QTEST_MAIN(TestPrintedLists)
#include "tst_reports_printed.moc"
