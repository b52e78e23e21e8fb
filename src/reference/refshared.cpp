#include "reference/refshared.h"

#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"

#include <QSqlQuery>

namespace Reference {

QString nodeLabel(const QVariant &code, const QVariant &name, int bytes, bool emptyWhenNull)
{
    if (emptyWhenNull && (code.isNull() || name.isNull()))
        return QString();
    const QString full = QLatin1Char('[') + (code.isNull() ? QString() : code.toString()) + QLatin1Char(']')
        + (name.isNull() ? QString() : name.toString());
    return UiLook::cutToGbkBytes(full, bytes);
}

void addNodeLabel(Dataset &ds, int bytes, bool emptyWhenNull)
{
    ds.addCalculatedField(QStringLiteral("Text"), FieldType::Text, [bytes, emptyWhenNull](const Dataset &d, int s) {
        return QVariant(nodeLabel(d.storageValue(s, QStringLiteral("Code")), d.storageValue(s, QStringLiteral("Name")), bytes,
                                  emptyWhenNull));
    });
}

QString fullNodeLabel(const Dataset &ds, int storageRow)
{
    return nodeLabel(ds.storageValue(storageRow, QStringLiteral("Code")), ds.storageValue(storageRow, QStringLiteral("Name")),
                     1 << 20, false);
}

QStringList readNames(Connection &conn, const QString &sql)
{
    QStringList out;
    QSqlQuery q = conn.query(sql);
    while (q.next())
        if (!q.value(0).isNull())
            out << q.value(0).toString();
    return out;
}

QString selectAll(Connection &conn, const QString &table, const QString &orderBy)
{
    QString sql = QStringLiteral("select * from %1").arg(conn.quote(table));
    if (!orderBy.isEmpty())
        sql += QStringLiteral(" order by ") + orderBy;
    return sql;
}

} // namespace Reference
