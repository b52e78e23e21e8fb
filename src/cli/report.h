#pragma once
#include "reports/engine/reportlayout.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Connection;
class ReportData;

// zentrav-cli report NAME --db FILE [--date D | --from D --to D] (--pdf OUT | --csv OUT)
//
// Every printed report and list registers itself here under a name, with
// what it needs: a single date, a period or none, and any options of its own
// (e.g. "--category"). Given the request it returns its template, its rows,
// its variables and the columns of its CSV export.

// Which dates a report takes.
enum class CliReportDates { None, Single, Period };

struct CliReportRequest {
    Connection *conn = nullptr;
    QDate date;               // Single: --date, today by default
    QDate from, to;           // Period: --from/--to, the previous calendar month by default
    QMap<QString, QString> options; // the report's own options, by name with the dashes ("--category")
    QString organisationName; // from the register's settings (variable dwmc)
    QDate today;              // the printing date
};

struct CliReportColumn {
    QString field;  // a field of the rows
    QString title;  // the CSV header
    QString format; // a report display format ("date", "0.##" …); empty: the value's natural form
};

struct CliReportOutput {
    QString templateName;               // for --pdf
    std::unique_ptr<ReportData> rows;
    ReportVariables variables;
    QList<CliReportColumn> columns;     // for --csv; empty: every field under its own name
};

struct CliReportSpec {
    QString summary;                    // one line for the command's help
    CliReportDates dates = CliReportDates::None;
    QStringList options;                // options taking a value, e.g. {"--category"}
    // Throws ReportError or DataError with a message for the user on bad input.
    std::function<CliReportOutput(const CliReportRequest &)> build;
};

void registerReport(const QString &name, CliReportSpec spec);
QStringList registeredReports();

// Registers the `report` command and every report known to zentrav-cli.
void registerReportCommand();
int reportCommand(const QStringList &args);

// The CSV text of rows under the given columns: UTF-8, a header row of the
// titles, fields quoted when they hold a comma, a quote or a line break.
QByteArray reportCsv(const ReportData &rows, const QList<CliReportColumn> &columns);

// Registrations of each module's reports (report_*.cpp), called once by registerReportCommand().
void registerItemReports();
void registerStatReports();
