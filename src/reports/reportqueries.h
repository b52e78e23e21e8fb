#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>

class Connection;
class Dataset;
class Dialect;

// The statements behind the category summary and the five detail lists:
// dates in, rows out. Each is written once in portable SQL; where the engines
// differ the dialect supplies the text. Values that depend on the day of the
// query ("today + 30 days") are computed here and bound like any other date.
// A list names its order in `order` (text columns, each ascending, by their
// bytes, a null text as the empty one) and the dataset puts the rows in it
// once read (Dataset::setRowOrder): the
// engines' sort of 900,000 wide rows costs more than reading them.
// `orderedSql` is the same statement with the engine doing the sort.
struct ReportQuery {
    QString sql;
    QVariantMap params;
    QStringList order;
    // The table a list reads, ending with its WHERE clause, when the list
    // reads most of it: it is read in two halves of the table's keys at once
    // (Dataset::setSplitTable).
    QString table;
    QString orderedSql(const Dialect &d) const;
};

// A purchase date that is empty counts as this day.
inline constexpr int EmptyBuyYear = 1980;

struct ReportPeriod {
    QDate from, to;
};

// The calendar month before the one `today` falls in.
ReportPeriod previousCalendarMonth(const QDate &today);
// "yyyy年MM月dd日", the form of dates in printed headings.
QString reportHeadingDate(const QDate &d);
// "yyyy年MM月dd日 至 yyyy年MM月dd日".
QString reportHeadingPeriod(const QDate &from, const QDate &to);

namespace ReportQueries {

// Per category: items held at `from` (qcsl, qcjz), bought in [from, to]
// (zjsl, zjjz), written off in [from, to] (xzsl, xzjz) and held the day after
// `to` (qmsl, qmjz). Only categories holding something at both ends are
// listed, by category code. An empty write-off date counts as today + 30 days.
ReportQuery categorySummary(const Dialect &d, const QDate &from, const QDate &to, const QDate &today);

// Items held at `date` (bought before it, not written off before it), by
// category code and item code. An empty write-off date counts as today + 30 years.
ReportQuery categoryList(const Dialect &d, const QDate &date, const QDate &today);
// The same with the department, ordered by department first.
ReportQuery departmentList(const Dialect &d, const QDate &date, const QDate &today);
// Items whose service life (months, 120 when empty) has run out at `date`,
// with the depreciation method's name (zjfs) and the present value (zcxz).
ReportQuery maturedList(const Dialect &d, const QDate &date);
// Items bought in [from, to] and not written off since.
ReportQuery additionsList(const Dialect &d, const QDate &from, const QDate &to);
// Written-off items whose write-off date lies in [from, to].
ReportQuery writeoffsList(const Dialect &d, const QDate &from, const QDate &to, const QDate &today);

// Puts the statement and its parameters on a dataset (read-only), without opening it.
void apply(Dataset &ds, const ReportQuery &q);
// A new read-only dataset holding the rows of `q`.
std::unique_ptr<Dataset> open(Connection &conn, const ReportQuery &q);

} // namespace ReportQueries
