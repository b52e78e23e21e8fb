#include "cli/report.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "reports/engine/itemprints.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reporttemplate.h"

namespace {

// A dataset that the rows of a report own.
class OwnedDatasetData : public ReportData {
public:
    explicit OwnedDatasetData(std::unique_ptr<Dataset> ds) : m_ds(std::move(ds)), m_rows(*m_ds) {}
    int rowCount() const override { return m_rows.rowCount(); }
    QStringList fieldNames() const override { return m_rows.fieldNames(); }
    QVariant value(int row, int field) const override { return m_rows.value(row, field); }

private:
    std::unique_ptr<Dataset> m_ds;
    DatasetReportData m_rows;
};

// The ledger in the order the ledger window keeps (by category), the whole
// of it or the branch of one category (--category ID: it and every category below it).
std::unique_ptr<ReportData> ledgerRows(const CliReportRequest &req)
{
    Connection &conn = *req.conn;
    auto ds = std::make_unique<Dataset>(&conn);
    const QString category = req.options.value(QStringLiteral("--category")).trimmed();
    QString where;
    if (req.options.contains(QStringLiteral("--category"))) {
        const QVariant known = conn.scalar(QStringLiteral("select count(*) from AssetType where Id = :id"), QVariantMap{{QStringLiteral("id"), category}});
        if (category.isEmpty() || known.toInt() == 0)
            throw ReportError(QStringLiteral("没有编号为“%1”的物品分类").arg(category));
        where = QStringLiteral(" where %1 = :type").arg(conn.dialect().left(conn.quote(QStringLiteral("Type")), int(category.size())));
        ds->setParam(QStringLiteral("type"), category);
    }
    ds->setSql(QStringLiteral("select * from Asset%1 order by %2, Code").arg(where, conn.quote(QStringLiteral("Type"))));
    ds->setReadOnly(true);
    ds->open();
    return std::make_unique<OwnedDatasetData>(std::move(ds));
}

QList<CliReportColumn> cardColumns()
{
    return {{"Code", "物品编号", {}},          {"Name", "物品名称", {}},          {"Model", "规格型号", {}},
            {"Unit", "计量单位", {}},          {"Price", "物品原值", "0.##"},     {"Manufacturer", "生产厂商", {}},
            {"ManufactureDate", "生产日期", "date"}, {"ManufactureCode", "出厂编号", {}}, {"Firm", "供应厂商", {}},
            {"BuyDate", "采购日期", "date"},   {"Transactor", "经办人员", {}},    {"Place", "存放位置", {}},
            {"BuildDate", "建档日期", "date"}, {"AppType", "增加方式", {}},       {"Department", "使用部门", {}},
            {"User", "使用人员", {}},          {"keeper", "保管人员", {}},        {"TechnicalState", "技术状态", {}},
            {"Makeof", "详细配置", {}}};
}

QList<CliReportColumn> labelColumns()
{
    return {{"Code", "物品编号", {}},         {"Name", "物品名称", {}},
            {"Model", "规格型号", {}},        {"Manufacturer", "生产厂家", {}},
            {"ManufactureDate", "出厂日期", "date"}, {"keeper", "保管人员", {}}};
}

} // namespace

void registerItemReports()
{
    CliReportSpec cards;
    cards.summary = QStringLiteral("物品卡片，每页三张（整个台帐，或 --category ID 一个分类及其下级）");
    cards.options = {QStringLiteral("--category")};
    cards.build = [](const CliReportRequest &req) {
        CliReportOutput out;
        out.templateName = QLatin1String(ItemCardsTemplate);
        out.rows = ledgerRows(req);
        out.variables = itemCardVariables(req.organisationName);
        out.columns = cardColumns();
        return out;
    };
    registerReport(QStringLiteral("item-cards"), cards);

    CliReportSpec labels;
    labels.summary = QStringLiteral("物品标签，每页两栏十张（整个台帐，或 --category ID 一个分类及其下级）");
    labels.options = {QStringLiteral("--category")};
    labels.build = [](const CliReportRequest &req) {
        CliReportOutput out;
        out.templateName = QLatin1String(ItemLabelsTemplate);
        out.rows = ledgerRows(req);
        out.columns = labelColumns();
        return out;
    };
    registerReport(QStringLiteral("item-labels"), labels);
}
