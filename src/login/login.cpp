#include "login/login.h"
#include "data/connection.h"
#include "data/errors.h"
#include "login/passwordhash.h"

#include <QSqlQuery>

namespace Login {

StafferRow find(Connection &conn, const QString &code)
{
    const QString sql = QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 WHERE lower(%6) = lower(?) "
                                       "ORDER BY CASE WHEN %6 = ? THEN 0 ELSE 1 END, %1")
                            .arg(conn.quote(QStringLiteral("Id")), conn.quote(QStringLiteral("Name")),
                                 conn.quote(QStringLiteral("Pass")), conn.quote(QStringLiteral("czqx")),
                                 conn.quote(QStringLiteral("Staffer")), conn.quote(QStringLiteral("Code")));
    QSqlQuery q = conn.query(sql, QVariantList{code, code});
    StafferRow row;
    if (!q.next())
        return row;
    row.found = true;
    row.id = q.value(0).toLongLong();
    row.name = q.value(1).isNull() ? QString() : q.value(1).toString();
    row.pass = q.value(2).isNull() ? QString() : q.value(2).toString();
    row.rights = q.value(3).isNull() ? 0 : q.value(3).toInt();
    return row;
}

QString upgradePlainText(Connection &conn, qint64 stafferId, const QString &oldStored, const QString &typed)
{
    try {
        const QString hash = PasswordHash::make(typed);
        Transaction tx(conn);
        const int n = conn.exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND %2 = ?")
                                    .arg(conn.quote(QStringLiteral("Staffer")), conn.quote(QStringLiteral("Pass")),
                                         conn.quote(QStringLiteral("Id"))),
                                QVariantList{hash, stafferId, oldStored});
        tx.commit();
        return n == 1 ? hash : oldStored;
    } catch (const DataError &) {
        // The login stands; the rewrite is tried again at the next login.
        return oldStored;
    }
}

QString changePassword(Connection &conn, qint64 stafferId, const QString &newPassword)
{
    const QString stored = PasswordHash::make(newPassword);
    Transaction tx(conn);
    const int n = conn.exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                                .arg(conn.quote(QStringLiteral("Staffer")), conn.quote(QStringLiteral("Pass")),
                                     conn.quote(QStringLiteral("Id"))),
                            QVariantList{stored, stafferId});
    if (n != 1)
        throw DataError(QStringLiteral("没有找到该用户的档案。"));
    tx.commit();
    return stored;
}

} // namespace Login
