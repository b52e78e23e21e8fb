#include "common/helpers.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"

#include <QGuiApplication>
#include <QCursor>
#include <limits>

QString PadString(const QString &s, int n, QChar c, bool onTheLeft)
{
    if (s.size() >= n)
        return s;
    const QString fill(n - s.size(), c);
    return onTheLeft ? fill + s : s + fill;
}

bool IsInteger(const QString &s)
{
    int i = 0;
    while (i < s.size() && s.at(i).isSpace())
        ++i;
    const QString body = s.mid(i);
    if (body.isEmpty())
        return false;
    bool ok = false;
    const qlonglong v = body.toLongLong(&ok, 10);
    return ok && v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
}

QString PadNumber(qint64 v, int w)
{
    return PadString(QString::number(v), w, QLatin1Char('0'), true);
}

QString RightStr(const QString &s, quint16 n)
{
    return n >= s.size() ? s : s.right(n);
}

QString MidStr(const QString &s, quint16 p, quint16 n)
{
    if (p < 1)
        p = 1;
    if (p > s.size())
        return QString();
    return s.mid(p - 1, n);
}

QString LeftStr(const QString &s, quint16 n)
{
    return s.left(n);
}

qint64 HexToInt(const QString &s)
{
    bool ok = false;
    const qint64 v = s.toLongLong(&ok, 16);
    if (!ok || s.trimmed() != s || s.startsWith(QLatin1Char('-')) || s.startsWith(QLatin1Char('+'))
        || s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        throw DataError(QStringLiteral("“%1”不是有效的十六进制数。").arg(s), DataError::Validation);
    return v;
}

namespace {
// The rows of a tree dataset whose parent is `id`, seen through a filter
// that the guard puts back afterwards.
void filterChildren(Dataset &tree, const QString &id)
{
    tree.filterTo(Filter::equals(QStringLiteral("Parent_Id"), id));
}
} // namespace

bool HasChildren(Dataset &tree, const QString &id)
{
    tree.post();
    DatasetStateGuard guard(tree);
    filterChildren(tree, id);
    return tree.recordCount() > 0;
}

QString NextChildId(Dataset &tree, const QString &parentId)
{
    tree.post();
    qint64 m = 0;
    {
        DatasetStateGuard guard(tree);
        filterChildren(tree, parentId);
        const int idField = tree.fieldIndex(QStringLiteral("Id"));
        for (int row = 0; row < tree.recordCount(); ++row) {
            const qint64 v = HexToInt(RightStr(tree.valueAt(row, idField).toString(), 2));
            if (v > m)
                m = v;
        }
    }
    if (m >= 0xFF)
        throw DataError(QStringLiteral("该节点下的编号已用到 FF，不能再增加下级节点。"), DataError::Validation);
    const QString id = parentId + PadString(QString::number(m + 1, 16).toUpper(), 2, QLatin1Char('0'), true);
    const int idField = tree.fieldIndex(QStringLiteral("Id"));
    const int width = idField >= 0 ? tree.field(idField).width : 0;
    if (width > 0 && id.size() > width)
        throw DataError(QStringLiteral("层级太深，不能再增加下级节点（编号最多 %1 位）。").arg(width), DataError::Validation);
    return id;
}

QString NextBillCode(Dataset &bills, const QDate &date)
{
    const QString p = date.toString(QStringLiteral("yyyyMMdd"));
    qint64 n = 0;
    auto consider = [&](const QString &code) {
        if (LeftStr(code, 8) != p)
            return;
        // The whole suffix after the date, so a day may go past 99.
        const QString suffix = code.mid(8);
        if (!IsInteger(suffix))
            return;
        const qint64 v = suffix.trimmed().toLongLong();
        if (v > n)
            n = v;
    };
    bills.post();
    const int codeField = bills.fieldIndex(QStringLiteral("Code"));
    if (codeField >= 0) {
        DatasetStateGuard guard(bills);
        for (int row = 0; row < bills.recordCount(); ++row)
            consider(bills.valueAt(row, codeField).toString());
        // Rows deleted but not yet saved still hold their code in the table.
    }
    // The table may hold bills of the day the list does not show (tallied ones
    // outside its date window, or another user's).
    Connection *conn = bills.connection();
    if (!bills.updateTable().isEmpty() && conn && conn->isOpen()) {
        const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %1 LIKE ?")
                                .arg(conn->quote(QStringLiteral("Code")), conn->quote(bills.updateTable()));
        QSqlQuery q = conn->query(sql, QVariantList{p + QLatin1Char('%')});
        while (q.next())
            consider(q.value(0).toString());
    }
    return p + PadNumber(n + 1, 2);
}

bool HasPendingUpdates(Dataset &ds)
{
    ds.post();
    return ds.hasPendingUpdates();
}

QString SortKeyFor(const Dataset &ds, const QString &fieldName)
{
    const int i = ds.fieldIndex(fieldName);
    if (i < 0)
        return QString();
    const Field &f = ds.field(i);
    if (f.isLong)
        return QString();
    switch (f.kind) {
    case Field::Data: return f.name;
    case Field::Lookup: return f.keyField;
    case Field::Calculated: return QString();
    }
    return QString();
}

SortMarker SortGridByColumn(Dataset &ds, const QString &fieldName, SortMarker current)
{
    if (!ds.isOpen())
        return SortMarker::None;
    const QString key = SortKeyFor(ds, fieldName);
    if (key.isEmpty() || key.contains(QLatin1Char(';')))
        return SortMarker::None;
    const bool hasGui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    if (hasGui)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        bool on;
        ~Restore()
        {
            if (on)
                QGuiApplication::restoreOverrideCursor();
        }
    } restore{hasGui};
    if (current == SortMarker::Down) {
        ds.setSort(key + QStringLiteral(" ASC"));
        return SortMarker::Up;
    }
    ds.setSort(key + QStringLiteral(" DESC"));
    return SortMarker::Down;
}
