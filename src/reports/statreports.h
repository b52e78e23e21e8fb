#pragma once
#include "reports/engine/reportdata.h"
#include "reports/engine/reportlayout.h"
#include "reports/reportqueries.h"

#include <QList>
#include <QString>
#include <memory>

class Connection;
class Dataset;

// What the statistical reports and the loan and repair lists print: the
// template, the grid's columns (field, title, width, display format) and the
// report variables, shared by the windows and zentrav-cli.
struct StatColumn {
    QString field;
    QString title;
    int width = 0;  // px on screen
    QString format; // "date", "0.##", "#,##0.00" … ; empty: the value as it is
};

struct StatReport {
    QString name;          // zentrav-cli name and template file name
    QString title;         // the window's title in the bar and its caption
    QList<StatColumn> columns;
    int frozenColumns = 0;
};

namespace StatReports {

StatReport categorySummary();
StatReport categoryList();
StatReport departmentList();
StatReport maturedList();
StatReport additionsList();
StatReport writeoffsList();
StatReport loanList();
StatReport repairList();

// Variables of the printed summary (dwmc, datespac) and lists (dwmc, cxrq).
ReportVariables summaryVariables(const QString &organisation, const QDate &from, const QDate &to);
ReportVariables dateVariables(const QString &organisation, const QDate &date);
ReportVariables periodVariables(const QString &organisation, const QDate &from, const QDate &to);
ReportVariables organisationVariables(const QString &organisation);

} // namespace StatReports

// The rows of a dataset that the report owns.
class OwnedDatasetRows : public ReportData {
public:
    explicit OwnedDatasetRows(std::unique_ptr<Dataset> ds);
    ~OwnedDatasetRows() override;
    int rowCount() const override;
    QStringList fieldNames() const override;
    QVariant value(int row, int field) const override;
    Dataset &dataset() { return *m_ds; }

private:
    std::unique_ptr<Dataset> m_ds;
    std::unique_ptr<DatasetReportData> m_rows;
};
