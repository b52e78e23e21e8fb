#include "reports/reportqueries.h"

#include "data/connection.h"
#include "data/dataset.h"
#include "data/dialect.h"

QString ReportQuery::orderedSql(const Dialect &d) const
{
    if (order.isEmpty())
        return sql;
    QStringList terms;
    for (const QString &c : order) {
        // every list orders by texts: a null one as the empty text, by bytes, as the dataset orders
        const QString t = QStringLiteral("COALESCE(%1,'')").arg(d.quote(c));
        terms << (d.isSqlite() ? t : t + QStringLiteral(" COLLATE \"C\""));
    }
    return QStringLiteral("SELECT * FROM (%1) q ORDER BY %2").arg(sql, terms.join(QStringLiteral(", ")));
}

ReportPeriod previousCalendarMonth(const QDate &today)
{
    const QDate first(today.year(), today.month(), 1);
    return {first.addMonths(-1), first.addDays(-1)};
}

QString reportHeadingDate(const QDate &d)
{
    return d.toString(QStringLiteral("yyyy年MM月dd日"));
}

QString reportHeadingPeriod(const QDate &from, const QDate &to)
{
    return reportHeadingDate(from) + QStringLiteral(" 至 ") + reportHeadingDate(to);
}

namespace ReportQueries {

namespace {

// A bound date as an expression. PostgreSQL cannot always tell the type of a
// parameter from where it stands (inside EXTRACT, say), so it is told.
QString dateParam(const Dialect &d, const char *name)
{
    const QString p = QLatin1Char(':') + QLatin1String(name);
    return d.isSqlite() ? p : QStringLiteral("CAST(%1 AS TIMESTAMP)").arg(p);
}

// Column names as the schema spells them, quoted for the engine.
struct Names {
    const Dialect &d;
    QString operator()(const char *table, const char *column) const
    {
        return d.quote(QLatin1String(table)) + QLatin1Char('.') + d.quote(QLatin1String(column));
    }
};

QString num(const Dialect &d, const QString &expr)
{
    return QStringLiteral("CAST(%1 AS %2)").arg(expr, d.doubleType());
}

// purchase date, an empty one counting as 1980/1/1
QString boughtOn(const Dialect &d)
{
    return QStringLiteral("COALESCE(%1,%2)").arg(Names{d}("Asset", "BuyDate"), dateParam(d, "emptyBuyDate"));
}

// write-off date, an empty one counting as :emptyDiscardDate
QString writtenOffOn(const Dialect &d)
{
    return QStringLiteral("COALESCE(%1,%2)").arg(Names{d}("Asset", "DiscardDate"), dateParam(d, "emptyDiscardDate"));
}

// `column` (an empty one counting as the date in `emptyParam`) within
// [minDate, maxDate], written so that an index on the column serves it.
QString dateWithin(const Dialect &d, const QString &column, const char *emptyParam)
{
    const QString empty = dateParam(d, emptyParam), low = dateParam(d, "minDate"), high = dateParam(d, "maxDate");
    return QStringLiteral("((%1 >= %3 AND %1 <= %4) OR (%1 IS NULL AND %2 >= %3 AND %2 <= %4))").arg(column, empty, low, high);
}

QDate emptyBuyDate()
{
    return QDate(EmptyBuyYear, 1, 1);
}

// The columns every detail list starts with, in the order of its grid.
QString listColumns(const Dialect &d, const QString &extra)
{
    const Names n{d};
    return QStringLiteral("%1 AS TypeCode, %2 AS TypeName, %3 AS Code, %4 AS Name, %5 AS Model, %6 AS Makeof, %7 AS BuyDate%8, %9 AS Price")
        .arg(n("AssetType", "Code"), n("AssetType", "Name"), n("Asset", "Code"), n("Asset", "Name"), n("Asset", "Model"),
             n("Asset", "Makeof"), n("Asset", "BuyDate"), extra, n("Asset", "Price"));
}

QString listFrom(const Dialect &d)
{
    const Names n{d};
    return QStringLiteral(" FROM %1 INNER JOIN %2 ON %3 = %4")
        .arg(d.quote(QStringLiteral("Asset")), d.quote(QStringLiteral("AssetType")), n("Asset", "Type"), n("AssetType", "Id"));
}

// Text sorts by its bytes on either engine, so both give the rows in one order
// whatever the server's locale.
QString byText(const Dialect &d, const QString &expr)
{
    return d.isSqlite() ? expr : expr + QStringLiteral(" COLLATE \"C\"");
}

// Every list: by category code, then item code (the rows are put in order by
// the dataset, see ReportQuery).
const QStringList ListOrder{QStringLiteral("TypeCode"), QStringLiteral("Code")};

} // namespace

ReportQuery categorySummary(const Dialect &d, const QDate &from, const QDate &to, const QDate &today)
{
    const Names n{d};
    const QString bought = boughtOn(d);
    const QString gone = writtenOffOn(d);
    const QString minDate = dateParam(d, "minDate");
    const QString maxDate = dateParam(d, "maxDate");
    const QString price = QStringLiteral("COALESCE(%1,0)").arg(n("Asset", "Price"));
    // One pass over the ledger: each figure counts the rows its condition
    // holds for; SUM over no such row stays null, as an empty column should.
    const QString heldAtFrom = QStringLiteral("%1 < %2 AND %3 >= %2").arg(bought, minDate, gone);
    const QString heldAfterTo = QStringLiteral("%1 < %2 AND %3 >= %2").arg(bought, maxDate, gone);
    const QString added = QStringLiteral("%1 < %2 AND %1 >= %3").arg(bought, maxDate, minDate);
    const QString writtenOff = QStringLiteral("%1 < %2 AND %1 >= %3").arg(gone, maxDate, minDate);
    auto count = [](const QString &cond) { return QStringLiteral("SUM(CASE WHEN %1 THEN 1 END)").arg(cond); };
    auto value = [&](const QString &cond) { return d.round(QStringLiteral("SUM(CASE WHEN %1 THEN %2 END)").arg(cond, price), 2); };

    const QString grouped = QStringLiteral(
        "SELECT %1 AS TypeId, %2 AS qmsl, %3 AS qmjz, %4 AS qcsl, %5 AS qcjz, %6 AS zjsl, %7 AS zjjz, %8 AS xzsl, %9 AS xzjz "
        "FROM %10 GROUP BY %1")
        .arg(n("Asset", "Type"), count(heldAfterTo), value(heldAfterTo), count(heldAtFrom), value(heldAtFrom),
             count(added), value(added), count(writtenOff), value(writtenOff))
        .arg(d.quote(QStringLiteral("Asset")));

    ReportQuery q;
    q.sql = QStringLiteral(
        "SELECT a.%1 AS Code, a.%2 AS name, s.qcsl, s.qcjz, s.zjsl, s.zjjz, s.xzsl, s.xzjz, s.qmsl, s.qmjz "
        "FROM %3 a INNER JOIN (%4) s ON a.%5 = s.TypeId "
        "WHERE s.qcsl IS NOT NULL AND s.qmsl IS NOT NULL "
        "ORDER BY %6")
        .arg(d.quote(QStringLiteral("Code")), d.quote(QStringLiteral("Name")), d.quote(QStringLiteral("AssetType")), grouped,
             d.quote(QStringLiteral("Id")), byText(d, QStringLiteral("a.") + d.quote(QStringLiteral("Code"))));
    q.params = {{QStringLiteral("minDate"), from},
                {QStringLiteral("maxDate"), to.addDays(1)},
                {QStringLiteral("emptyBuyDate"), emptyBuyDate()},
                {QStringLiteral("emptyDiscardDate"), today.addDays(30)}};
    return q;
}

namespace {

ReportQuery heldList(const Dialect &d, const QDate &date, const QDate &today, bool byDepartment)
{
    const Names n{d};
    const QString at = dateParam(d, "nowDate");
    ReportQuery q;
    // items of no department come first, as one group with the empty name
    q.sql = QStringLiteral("SELECT ") + (byDepartment ? n("Asset", "Department") + QStringLiteral(" AS Department, ") : QString())
        + listColumns(d, {}) + listFrom(d)
        + QStringLiteral(" WHERE %1 < %2 AND %3 >= %2").arg(boughtOn(d), at, writtenOffOn(d));
    q.order = ListOrder;
    q.table = QStringLiteral("Asset");
    if (byDepartment)
        q.order.prepend(QStringLiteral("Department"));
    q.params = {{QStringLiteral("nowDate"), date},
                {QStringLiteral("emptyBuyDate"), emptyBuyDate()},
                {QStringLiteral("emptyDiscardDate"), today.addYears(30)}};
    return q;
}

} // namespace

ReportQuery categoryList(const Dialect &d, const QDate &date, const QDate &today)
{
    return heldList(d, date, today, false);
}

ReportQuery departmentList(const Dialect &d, const QDate &date, const QDate &today)
{
    return heldList(d, date, today, true);
}

ReportQuery maturedList(const Dialect &d, const QDate &date)
{
    const Names n{d};
    const QString P = num(d, QStringLiteral("COALESCE(%1,0)").arg(n("Asset", "Price")));
    const QString S = num(d, QStringLiteral("COALESCE(%1,0)").arg(n("Asset", "spare")));
    const QString N = num(d, QStringLiteral("COALESCE(%1,120)").arg(n("Asset", "NumberofYear")));
    const QString T = QStringLiteral("COALESCE(%1,0)").arg(n("Asset", "DepreType"));
    const QString M = num(d, d.monthDiff(boughtOn(d), dateParam(d, "nowDate")));
    const QString salvage = QStringLiteral("(%1*(%2/100))").arg(P, S);
    // A life of no months (straight line) or of at most one month (sum of the
    // digits, whose divisor is N*(N-1)/2) leaves nothing to spread: the item
    // stands at its salvage value instead of failing the whole list on a
    // division by zero.
    const QString straight = QStringLiteral("CASE WHEN %3 = 0 THEN %5 ELSE %1-%1*(1-%2/100)/%3*%4 END").arg(P, S, N, M, salvage);
    const QString digits = QStringLiteral("CASE WHEN %3*(%3-1) = 0 THEN %5 ELSE %1-%1*(1-%2/100)*(%3*%4-(%4-1)*%4/2)/(%3*(%3-1)/2) END")
                               .arg(P, S, N, M, salvage);
    const QString value = QStringLiteral("(CASE %1 WHEN 0 THEN %2 WHEN 1 THEN %3 WHEN 2 THEN %4 ELSE 0 END)").arg(T, P, straight, digits);
    const QString present = d.round(QStringLiteral("CASE WHEN %1 < %2 THEN %2 ELSE %1 END").arg(value, salvage), 2);
    const QString method = QStringLiteral("CASE %1 WHEN 1 THEN '平均年限法' WHEN 2 THEN '年数总和法' ELSE '不提折旧' END").arg(T);

    ReportQuery q;
    q.sql = QStringLiteral("SELECT ") + listColumns(d, {})
        + QStringLiteral(", %1 AS spare, %2 AS zjfs, %3 AS NumberofYear, %4 AS zcxz").arg(n("Asset", "spare"), method, n("Asset", "NumberofYear"), present)
        + listFrom(d) + QStringLiteral(" WHERE %1 >= %2").arg(M, N);
    q.order = ListOrder;
    q.table = QStringLiteral("Asset");
    q.params = {{QStringLiteral("nowDate"), date}, {QStringLiteral("emptyBuyDate"), emptyBuyDate()}};
    return q;
}

ReportQuery additionsList(const Dialect &d, const QDate &from, const QDate &to)
{
    const Names n{d};
    ReportQuery q;
    q.sql = QStringLiteral("SELECT ") + listColumns(d, {}) + listFrom(d)
        + QStringLiteral(" WHERE %1 < 4 AND %2").arg(n("Asset", "State"), dateWithin(d, n("Asset", "BuyDate"), "emptyBuyDate"));
    q.order = ListOrder;
    // no q.table: the date's index finds these few rows, where halves of the
    // key range would each scan their half of the ledger
    q.params = {{QStringLiteral("minDate"), from}, {QStringLiteral("maxDate"), to}, {QStringLiteral("emptyBuyDate"), emptyBuyDate()}};
    return q;
}

ReportQuery writeoffsList(const Dialect &d, const QDate &from, const QDate &to, const QDate &today)
{
    const Names n{d};
    ReportQuery q;
    q.sql = QStringLiteral("SELECT ") + listColumns(d, QStringLiteral(", %1 AS DiscardDate").arg(n("Asset", "DiscardDate"))) + listFrom(d)
        + QStringLiteral(" WHERE %1 >= 4 AND %2").arg(n("Asset", "State"), dateWithin(d, n("Asset", "DiscardDate"), "emptyDiscardDate"));
    q.order = ListOrder;
    // no q.table: the date's index finds these few rows, where halves of the
    // key range would each scan their half of the ledger
    q.params = {{QStringLiteral("minDate"), from}, {QStringLiteral("maxDate"), to}, {QStringLiteral("emptyDiscardDate"), today.addYears(30)}};
    return q;
}

void apply(Dataset &ds, const ReportQuery &q)
{
    ds.setReadOnly(true);
    ds.setSql(q.sql);
    ds.setRowOrder(q.order);
    ds.setSplitTable(q.table);
    for (auto it = q.params.cbegin(); it != q.params.cend(); ++it)
        ds.setParam(it.key(), it.value());
}

std::unique_ptr<Dataset> open(Connection &conn, const ReportQuery &q)
{
    auto ds = std::make_unique<Dataset>(&conn);
    apply(*ds, q);
    ds->open();
    return ds;
}

} // namespace ReportQueries
