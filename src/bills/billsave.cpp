#include "bills/billsave.h"

#include "common/helpers.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/save.h"

#include <QSet>

namespace {

// "YYYYMMDD" followed by digits: a code made by NextBillCode.
bool isDayCode(const QString &code, QString *day, qint64 *number)
{
    if (code.size() < 9)
        return false;
    for (const QChar c : code)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    *day = code.left(8);
    *number = code.mid(8).toLongLong();
    return true;
}

// Only one saver at a time settles the codes of one table. SQLite already
// holds the write lock from BEGIN IMMEDIATE; PostgreSQL takes an advisory
// lock that ends with the transaction.
void lockCodes(Connection &conn, const QString &table)
{
    if (conn.engine() != Engine::PostgreSQL)
        return;
    const QByteArray name = table.toLower().toUtf8();
    conn.exec(QStringLiteral("SELECT pg_advisory_xact_lock(?, ?)"),
              QVariantList{0x5A454E54 /* "ZENT" */, int(qChecksum(name))});
}

} // namespace

int claimBillCodes(Connection &conn, Dataset &bills)
{
    const int codeField = bills.fieldIndex(QStringLiteral("Code"));
    if (codeField < 0 || bills.updateTable().isEmpty() || !bills.hasPendingUpdates())
        return 0;
    bills.post();
    DatasetStateGuard guard(bills);
    bills.setFiltered(false);
    std::vector<int> fresh; // visible rows of new bills with a day code
    for (int row = 0; row < bills.recordCount(); ++row) {
        QString day;
        qint64 n;
        if (bills.rowState(row) == Dataset::RowState::Inserted && isDayCode(bills.valueAt(row, codeField).toString(), &day, &n))
            fresh.push_back(row);
    }
    if (fresh.empty())
        return 0;
    lockCodes(conn, bills.updateTable());

    const QString table = conn.quote(bills.updateTable());
    const QString code = conn.quote(QStringLiteral("Code"));
    QSet<QString> taken;            // codes held by saved bills or by new bills already settled
    QHash<QString, qint64> largest; // per day: the largest number in use
    auto readDay = [&](const QString &day) {
        if (largest.contains(day))
            return;
        qint64 top = 0;
        QSqlQuery q = conn.query(QStringLiteral("SELECT %1 FROM %2 WHERE %1 LIKE ?").arg(code, table), QVariantList{day + QLatin1Char('%')});
        while (q.next()) {
            const QString c = q.value(0).toString();
            taken.insert(c);
            QString d;
            qint64 n;
            if (isDayCode(c, &d, &n) && d == day)
                top = std::max(top, n);
        }
        largest.insert(day, top);
    };
    // The new bills' own codes count as in use, so a renumbered bill never takes one of them.
    for (int row : fresh) {
        QString day;
        qint64 n;
        isDayCode(bills.valueAt(row, codeField).toString(), &day, &n);
        readDay(day);
        largest[day] = std::max(largest[day], n);
    }
    int changed = 0;
    for (int row : fresh) {
        const QString current = bills.valueAt(row, codeField).toString();
        if (!taken.contains(current)) {
            taken.insert(current);
            continue;
        }
        QString day;
        qint64 n;
        isDayCode(current, &day, &n);
        const qint64 next = ++largest[day];
        const QString renewed = day + PadNumber(next, 2);
        taken.insert(renewed);
        bills.setCurrentRow(row);
        bills.setValue(QStringLiteral("Code"), renewed);
        bills.post();
        ++changed;
    }
    return changed;
}

void requireHeldStates(Connection &conn, const QString &table, const QHash<qint64, int> &held)
{
    // PostgreSQL: the bill rows stay locked until the save commits, so no tally slips in between.
    const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?%4")
                            .arg(conn.quote(QStringLiteral("State")), conn.quote(table), conn.quote(QStringLiteral("Id")),
                                 conn.engine() == Engine::PostgreSQL ? QStringLiteral(" FOR UPDATE") : QString());
    for (auto it = held.cbegin(); it != held.cend(); ++it) {
        QSqlQuery q = conn.query(sql, QVariantList{it.key()});
        const bool same = q.next() && (q.value(0).isNull() ? 0 : q.value(0).toInt()) == it.value();
        if (!same)
            throw DataError(QStringLiteral("单据（Id = %1）已被其他用户登帐、修改或删除，请刷新后再试。").arg(it.key()), DataError::Conflict);
    }
}

void saveBills(Connection &conn, Dataset &bills, Dataset *lines, const QHash<qint64, int> &held)
{
    const auto claim = [&] {
        requireHeldStates(conn, bills.updateTable(), held);
        claimBillCodes(conn, bills);
    };
    if (lines)
        saveAll(conn, {lines, &bills}, {}, claim);
    else
        saveAll(conn, {&bills}, {}, claim);
}
