#include "queries/loanqueries.h"

#include "data/dataset.h"
#include "data/dialect.h"

#include <QStringList>

namespace LoanQueries {

namespace {

BillQuery billsIn(const Dialect &d, const char *table, const char *dateColumn, const QDate &from, const QDate &to)
{
    auto q = [&](const char *id) { return d.quote(QLatin1String(id)); };
    BillQuery b;
    b.sql = QStringLiteral("SELECT A.*, B.%1 AS AssetCode, B.%2 AS Name, B.%3 AS Model, B.%4 AS Manufacturer, B.%5 AS Makeof "
                           "FROM %6 A LEFT JOIN %7 B ON A.%8 = B.%9 ")
                .arg(q("Code"), q("Name"), q("Model"), q("Manufacturer"), q("Makeof"), q(table), q("Asset"), q("AssetId"), q("Id"))
        + QStringLiteral("WHERE A.%1 < 3 OR (A.%1 >= 3 AND A.%2 >= :minDate AND A.%2 <= :maxDate) ORDER BY A.%3")
              .arg(q("State"), q(dateColumn), q("Code"));
    b.params = {{QStringLiteral("minDate"), from}, {QStringLiteral("maxDate"), to}};
    return b;
}

QString nameOf(const QVariant &state, const char *const names[4])
{
    if (state.isNull() || !state.isValid())
        return {};
    bool ok = false;
    const int s = state.toInt(&ok);
    return ok && s >= 0 && s <= 3 ? QString::fromUtf8(names[s]) : QString();
}

void addStateName(Dataset &ds, QString (*name)(const QVariant &))
{
    if (ds.hasField(QStringLiteral("StateName")))
        return;
    ds.addCalculatedField(QStringLiteral("StateName"), FieldType::Text,
                          [name](const Dataset &set, int row) { return QVariant(name(set.storageValue(row, QStringLiteral("State")))); });
}

} // namespace

BillQuery loans(const Dialect &d, const QDate &from, const QDate &to)
{
    return billsIn(d, "Asset_Loan", "LoanDate", from, to);
}

BillQuery repairs(const Dialect &d, const QDate &from, const QDate &to)
{
    return billsIn(d, "Asset_Service", "ServiceDate", from, to);
}

BillQuery personalLoans(const Dialect &d, const QString &name)
{
    auto q = [&](const char *id) { return d.quote(QLatin1String(id)); };
    BillQuery b;
    b.sql = QStringLiteral("SELECT A.*, B.%1 AS AssetCode, B.%2 AS Name, B.%3 AS Model, B.%4 AS Manufacturer, B.%5 AS Makeof "
                           "FROM %6 A LEFT JOIN %7 B ON A.%8 = B.%9 ")
                .arg(q("Code"), q("Name"), q("Model"), q("Manufacturer"), q("Makeof"), q("Asset_Loan"), q("Asset"), q("AssetId"), q("Id"))
        + QStringLiteral("WHERE A.%1 < 3 AND A.%1 > 0 AND A.%2 = :name ORDER BY A.%3").arg(q("State"), q("Loaner"), q("Code"));
    b.params = {{QStringLiteral("name"), name}};
    return b;
}

QString loanStateName(const QVariant &state)
{
    static const char *const names[4] = {"借用未登帐", "借用未归还", "归还未登帐", "已归还"};
    return nameOf(state, names);
}

QString repairStateName(const QVariant &state)
{
    static const char *const names[4] = {"维修未登帐", "维修未完成", "完成未登帐", "维修已完成"};
    return nameOf(state, names);
}

QStringList loanStateChoices()
{
    return {QStringLiteral("全部借出单"), QStringLiteral("借出未归还"), QStringLiteral("借出已归还")};
}

QStringList repairStateChoices()
{
    return {QStringLiteral("全部维修单"), QStringLiteral("维修未取回"), QStringLiteral("维修已取回")};
}

QString stateChoiceFilter(int choice)
{
    switch (choice) {
    case 1: return QStringLiteral("state<3");
    case 2: return QStringLiteral("state=3");
    default: return {};
    }
}

void applyLoans(Dataset &ds, const BillQuery &q)
{
    ds.setReadOnly(true);
    ds.setSql(q.sql);
    for (auto it = q.params.cbegin(); it != q.params.cend(); ++it)
        ds.setParam(it.key(), it.value());
    addStateName(ds, &loanStateName);
}

void applyRepairs(Dataset &ds, const BillQuery &q)
{
    ds.setReadOnly(true);
    ds.setSql(q.sql);
    for (auto it = q.params.cbegin(); it != q.params.cend(); ++it)
        ds.setParam(it.key(), it.value());
    addStateName(ds, &repairStateName);
}

} // namespace LoanQueries
