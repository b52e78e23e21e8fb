#include "queries/billqueries.h"

#include "data/dialect.h"

namespace BillQueries {

namespace {
QVariantMap window(const QDate &from, const QDate &to)
{
    return {{QStringLiteral("minDate"), from}, {QStringLiteral("maxDate"), to}};
}
} // namespace

BillQuery acquisitions(const Dialect &d, const QDate &from, const QDate &to)
{
    auto q = [&](const char *id) { return d.quote(QLatin1String(id)); };
    const QString typeName = d.concat(d.concat(QStringLiteral("'['"), QStringLiteral("B.") + q("Code")),
                                      d.concat(QStringLiteral("']'"), QStringLiteral("B.") + q("Name")));
    BillQuery b;
    b.sql = QStringLiteral("SELECT A.*, %1 AS Typename FROM %2 A LEFT JOIN %3 B ON A.%4 = B.%5 "
                           "WHERE A.%6 = 0 OR (A.%6 > 0 AND A.%7 >= :minDate AND A.%7 <= :maxDate) ORDER BY A.%8")
                .arg(typeName, q("Asset_Add"), q("AssetType"), q("Type"), q("Id"), q("State"), q("BuildDate"), q("Code"));
    b.params = window(from, to);
    return b;
}

BillQuery transfers(const Dialect &d, const QDate &from, const QDate &to)
{
    auto q = [&](const char *id) { return d.quote(QLatin1String(id)); };
    BillQuery b;
    b.sql = QStringLiteral("SELECT * FROM %1 WHERE %2 = 0 OR (%2 = 1 AND %3 >= :minDate AND %3 <= :maxDate) ORDER BY %4")
                .arg(q("Asset_Move"), q("State"), q("BuildDate"), q("Code"));
    b.params = window(from, to);
    return b;
}

QString transferLinesSql(const Dialect &d)
{
    auto q = [&](const char *id) { return d.quote(QLatin1String(id)); };
    return QStringLiteral("SELECT A.*, B.%1 AS AssetCode, B.%2 AS Name, B.%3 AS Model, B.%4 AS Manufacturer, B.%5 AS Makeof "
                          "FROM %6 A LEFT JOIN %7 B ON A.%8 = B.%9 ")
               .arg(q("Code"), q("Name"), q("Model"), q("Manufacturer"), q("Makeof"), q("Asset_Move_Item"), q("Asset"), q("AssetId"), q("Id"))
        + QStringLiteral("WHERE A.%1 = :Id ORDER BY A.%2").arg(q("MoveId"), q("Id"));
}

BillQuery writeOffs(const Dialect &d, const QDate &from, const QDate &to)
{
    auto q = [&](const char *id) { return d.quote(QLatin1String(id)); };
    BillQuery b;
    b.sql = QStringLiteral("SELECT A.*, B.%1 AS AssetCode, B.%2 AS Name, B.%3 AS Model, B.%4 AS Manufacturer, B.%5 AS Makeof "
                           "FROM %6 A LEFT JOIN %7 B ON A.%8 = B.%9 ")
                .arg(q("Code"), q("Name"), q("Model"), q("Manufacturer"), q("Makeof"), q("Asset_Discard"), q("Asset"), q("AssetId"), q("Id"))
        + QStringLiteral("WHERE A.%1 = 0 OR (A.%1 > 0 AND A.%2 >= :minDate AND A.%2 <= :maxDate) ORDER BY A.%3").arg(q("State"), q("DecDate"), q("Code"));
    b.params = window(from, to);
    return b;
}

} // namespace BillQueries
