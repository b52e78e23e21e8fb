#include "reports/statreports.h"

#include "data/dataset.h"

namespace StatReports {

StatReport categorySummary()
{
    return {QStringLiteral("category-summary"), QStringLiteral("物品分类汇总报表"),
            {{"Code", "资产分类编号", 108, {}}, {"name", "资产分类名称", 208, {}}, {"qcsl", "期初数量", 72, {}}, {"qcjz", "期初价值", 93, {}},
             {"zjsl", "增加数量", 66, {}}, {"zjjz", "增加价值", 87, {}}, {"xzsl", "销账数量", 65, {}}, {"xzjz", "销账价值", 88, {}},
             {"qmsl", "期末数量", 73, {}}, {"qmjz", "期末价值", 111, {}}},
            2};
}

StatReport categoryList()
{
    return {QStringLiteral("category-list"), QStringLiteral("物品分类明细列表"),
            {{"TypeCode", "分类编号", 90, {}}, {"TypeName", "分类名称", 103, {}}, {"Code", "物品编号", 90, {}}, {"Name", "物品名称", 167, {}},
             {"Model", "规格型号", 128, {}}, {"Makeof", "详细配置", 238, {}}, {"BuyDate", "启用日期", 96, "date"}, {"Price", "物品原值", 71, "#,##0.00"}},
            4};
}

StatReport departmentList()
{
    return {QStringLiteral("department-list"), QStringLiteral("部门物品分类明细列表"),
            {{"Department", "所属部门", 226, {}}, {"TypeCode", "分类编号", 102, {}}, {"TypeName", "分类名称", 173, {}}, {"Code", "物品编号", 118, {}},
             {"Name", "物品名称", 166, {}}, {"Model", "规格型号", 113, {}}, {"Makeof", "详细配置", 180, {}}, {"BuyDate", "启用日期", 90, "date"},
             {"Price", "物品原值", 80, "#,##0.00"}},
            5};
}

StatReport maturedList()
{
    return {QStringLiteral("matured-list"), QStringLiteral("到期物品明细列表"),
            {{"TypeCode", "分类编号", 90, {}}, {"TypeName", "分类名称", 103, {}}, {"Code", "资产编号", 90, {}}, {"Name", "资产名称", 153, {}},
             {"Model", "资产型号", 88, {}}, {"Makeof", "详细配置", 113, {}}, {"BuyDate", "启用日期", 86, "date"}, {"Price", "资产原值", 71, {}},
             {"spare", "残值率[%]", 73, {}}, {"NumberofYear", "折旧年限[月]", 92, {}}, {"zjfs", "折旧方式", 98, {}}, {"zcxz", "资产现值", 74, {}}},
            4};
}

StatReport additionsList()
{
    return {QStringLiteral("additions-list"), QStringLiteral("新增物品明细列表"),
            {{"TypeCode", "分类编号", 90, {}}, {"TypeName", "分类名称", 103, {}}, {"Code", "物品编号", 108, {}}, {"Name", "物品名称", 196, {}},
             {"Model", "规格型号", 158, {}}, {"Makeof", "详细配置", 164, {}}, {"BuyDate", "启用日期", 86, "date"}, {"Price", "物品原值", 71, "#,##0.00"}},
            4};
}

StatReport writeoffsList()
{
    return {QStringLiteral("writeoffs-list"), QStringLiteral("销账物品明细列表"),
            {{"TypeCode", "分类编号", 90, {}}, {"TypeName", "分类名称", 135, {}}, {"Code", "物品编号", 113, {}}, {"Name", "物品名称", 186, {}},
             {"Model", "规格型号", 88, {}}, {"Makeof", "详细配置", 113, {}}, {"BuyDate", "启用日期", 86, "date"}, {"DiscardDate", "销账日期", 90, "date"},
             {"Price", "物品原值", 71, {}}},
            4};
}

StatReport loanList()
{
    return {QStringLiteral("loan-list"), QStringLiteral("物品借出查询"),
            {{"Code", "借用单号", 100, {}}, {"AssetCode", "物品编号", 100, {}}, {"Name", "物品名称", 157, {}}, {"Model", "规格型号", 100, {}},
             {"Loaner", "借用人员", 80, {}}, {"Loankeeper", "借出人员", 80, {}}, {"LoanDate", "借用日期", 90, "date"},
             {"BackDate", "归还日期", 90, "date"}, {"StateName", "单据状态", 90, {}}},
            0};
}

StatReport repairList()
{
    return {QStringLiteral("repair-list"), QStringLiteral("物品维修单查询"),
            {{"Code", "维修单号", 100, {}}, {"AssetCode", "物品编号", 100, {}}, {"Name", "物品名称", 157, {}}, {"Model", "规格型号", 100, {}},
             {"ServiceDept", "维修单位", 82, {}}, {"Deliver", "送出人员", 80, {}}, {"ServiceDate", "送出日期", 90, "date"},
             {"BackDate", "取回日期", 90, "date"}, {"StateName", "单据状态", 90, {}}},
            0};
}

ReportVariables summaryVariables(const QString &organisation, const QDate &from, const QDate &to)
{
    ReportVariables v;
    v.values = {{QStringLiteral("dwmc"), organisation}, {QStringLiteral("datespac"), reportHeadingPeriod(from, to)}};
    return v;
}

ReportVariables dateVariables(const QString &organisation, const QDate &date)
{
    ReportVariables v;
    v.values = {{QStringLiteral("dwmc"), organisation}, {QStringLiteral("cxrq"), reportHeadingDate(date)}};
    return v;
}

ReportVariables periodVariables(const QString &organisation, const QDate &from, const QDate &to)
{
    ReportVariables v;
    v.values = {{QStringLiteral("dwmc"), organisation}, {QStringLiteral("cxrq"), reportHeadingPeriod(from, to)}};
    return v;
}

ReportVariables organisationVariables(const QString &organisation)
{
    ReportVariables v;
    v.values = {{QStringLiteral("dwmc"), organisation}};
    return v;
}

} // namespace StatReports

OwnedDatasetRows::OwnedDatasetRows(std::unique_ptr<Dataset> ds)
    : m_ds(std::move(ds)), m_rows(std::make_unique<DatasetReportData>(*m_ds))
{
}

OwnedDatasetRows::~OwnedDatasetRows() = default;

int OwnedDatasetRows::rowCount() const
{
    return m_rows->rowCount();
}

QStringList OwnedDatasetRows::fieldNames() const
{
    return m_rows->fieldNames();
}

QVariant OwnedDatasetRows::value(int row, int field) const
{
    return m_rows->value(row, field);
}
