#include "cli/report.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "queries/loanqueries.h"
#include "reports/reportqueries.h"
#include "reports/statreports.h"

// The category summary, the five detail lists and the loan and repair lists.
namespace {

QList<CliReportColumn> csvColumns(const StatReport &r)
{
    QList<CliReportColumn> out;
    for (const StatColumn &c : r.columns)
        out.append({c.field, c.title, c.format});
    return out;
}

std::unique_ptr<ReportData> rowsOf(Connection &conn, const ReportQuery &q)
{
    return std::make_unique<OwnedDatasetRows>(ReportQueries::open(conn, q));
}


void add(const StatReport &r, const QString &summary, CliReportDates dates, const std::function<void(const CliReportRequest &, CliReportOutput &)> &fill)
{
    CliReportSpec spec;
    spec.summary = summary;
    spec.dates = dates;
    spec.build = [r, fill](const CliReportRequest &req) {
        CliReportOutput out;
        out.templateName = r.name;
        out.columns = csvColumns(r);
        fill(req, out);
        return out;
    };
    registerReport(r.name, spec);
}

} // namespace

void registerStatReports()
{
    using namespace StatReports;
    add(categorySummary(), QStringLiteral("物品分类汇总报表（--from/--to，默认上个月）"), CliReportDates::Period,
        [](const CliReportRequest &req, CliReportOutput &out) {
            out.rows = rowsOf(*req.conn, ReportQueries::categorySummary(req.conn->dialect(), req.from, req.to, req.today));
            out.variables = summaryVariables(req.organisationName, req.from, req.to);
        });
    add(categoryList(), QStringLiteral("物品分类明细列表：某日持有的物品（--date，默认今天）"), CliReportDates::Single,
        [](const CliReportRequest &req, CliReportOutput &out) {
            out.rows = rowsOf(*req.conn, ReportQueries::categoryList(req.conn->dialect(), req.date, req.today));
            out.variables = dateVariables(req.organisationName, req.date);
        });
    add(departmentList(), QStringLiteral("部门物品明细列表：某日各部门持有的物品（--date，默认今天）"), CliReportDates::Single,
        [](const CliReportRequest &req, CliReportOutput &out) {
            out.rows = rowsOf(*req.conn, ReportQueries::departmentList(req.conn->dialect(), req.date, req.today));
            out.variables = dateVariables(req.organisationName, req.date);
        });
    add(maturedList(), QStringLiteral("到期资产明细列表：某日已到折旧年限的物品及现值（--date，默认今天）"), CliReportDates::Single,
        [](const CliReportRequest &req, CliReportOutput &out) {
            out.rows = rowsOf(*req.conn, ReportQueries::maturedList(req.conn->dialect(), req.date));
            out.variables = dateVariables(req.organisationName, req.date);
        });
    add(additionsList(), QStringLiteral("新增物品明细列表（--from/--to，默认上个月）"), CliReportDates::Period,
        [](const CliReportRequest &req, CliReportOutput &out) {
            out.rows = rowsOf(*req.conn, ReportQueries::additionsList(req.conn->dialect(), req.from, req.to));
            out.variables = periodVariables(req.organisationName, req.from, req.to);
        });
    add(writeoffsList(), QStringLiteral("销账物品明细列表（--from/--to，默认上个月）"), CliReportDates::Period,
        [](const CliReportRequest &req, CliReportOutput &out) {
            out.rows = rowsOf(*req.conn, ReportQueries::writeoffsList(req.conn->dialect(), req.from, req.to, req.today));
            out.variables = periodVariables(req.organisationName, req.from, req.to);
        });
    add(loanList(), QStringLiteral("物品借用单列表：未归还的全部借出单，及借出日期在 --from/--to 内的已归还单"), CliReportDates::Period,
        [](const CliReportRequest &req, CliReportOutput &out) {
            auto ds = std::make_unique<Dataset>(req.conn);
            LoanQueries::applyLoans(*ds, LoanQueries::loans(req.conn->dialect(), req.from, req.to));
            ds->open();
            out.rows = std::make_unique<OwnedDatasetRows>(std::move(ds));
            out.variables = organisationVariables(req.organisationName);
        });
    add(repairList(), QStringLiteral("物品维修单列表：未完成的全部维修单，及维修日期在 --from/--to 内的已完成单"), CliReportDates::Period,
        [](const CliReportRequest &req, CliReportOutput &out) {
            auto ds = std::make_unique<Dataset>(req.conn);
            LoanQueries::applyRepairs(*ds, LoanQueries::repairs(req.conn->dialect(), req.from, req.to));
            ds->open();
            out.rows = std::make_unique<OwnedDatasetRows>(std::move(ds));
            out.variables = organisationVariables(req.organisationName);
        });
}
