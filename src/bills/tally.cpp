#include "bills/tally.h"
#include "common/helpers.h"
#include "data/connection.h"
#include "data/errors.h"

#include <QSqlRecord>
#include <functional>

namespace {

struct Refusal {
    QString message;
};

// A bill row read inside the tally's transaction, columns by name.
struct Row {
    QVariantMap values;
    QVariant operator[](const char *name) const
    {
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            if (it.key().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return it.value();
        return {};
    }
    QString text(const char *name) const { return (*this)[name].toString(); }
    bool empty(const char *name) const
    {
        const QVariant v = (*this)[name];
        return v.isNull() || v.toString().trimmed().isEmpty();
    }
};

QString forUpdate(Connection &conn)
{
    // SQLite already holds the write lock from BEGIN IMMEDIATE.
    return conn.engine() == Engine::PostgreSQL ? QStringLiteral(" FOR UPDATE") : QString();
}

std::optional<Row> readRow(Connection &conn, const QString &table, qint64 id)
{
    QSqlQuery q = conn.query(QStringLiteral("SELECT * FROM %1 WHERE %2 = ?%3").arg(conn.quote(table), conn.quote(QStringLiteral("Id")), forUpdate(conn)),
                             QVariantList{id});
    if (!q.next())
        return std::nullopt;
    Row r;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        r.values.insert(rec.fieldName(i), q.value(i));
    return r;
}

// The item a bill names, read and locked inside the tally: it must still be
// on the ledger and in one of the states the tally expects; a refusal names
// the item's code.
void requireItemState(Connection &conn, qint64 assetId, std::initializer_list<int> allowed, const char *refusal)
{
    QSqlQuery q = conn.query(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ?%5")
                                 .arg(conn.quote(QStringLiteral("State")), conn.quote(QStringLiteral("Code")), conn.quote(QStringLiteral("Asset")),
                                      conn.quote(QStringLiteral("Id")), forUpdate(conn)),
                             QVariantList{assetId});
    if (!q.next())
        throw Refusal{QString::fromUtf8(TallyMessages::ItemMissing)};
    const int state = q.value(0).isNull() ? 0 : q.value(0).toInt();
    if (std::find(allowed.begin(), allowed.end(), state) == allowed.end())
        throw Refusal{QStringLiteral("物品") + q.value(1).toString() + QString::fromUtf8(refusal)};
}

// Freezes the bill: only a bill still in one of `from` states moves, so two
// users tallying the same bill cannot both succeed.
void setBillState(Connection &conn, const QString &table, qint64 id, int to, std::initializer_list<int> from)
{
    QStringList states;
    for (int s : from)
        states << QString::number(s);
    const int n = conn.exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND %2 IN (%4)")
                                .arg(conn.quote(table), conn.quote(QStringLiteral("State")), conn.quote(QStringLiteral("Id")), states.join(QLatin1Char(','))),
                            QVariantList{to, id});
    if (n != 1)
        throw Refusal{QString::fromUtf8(TallyMessages::AlreadyTallied)};
}

// Runs `body` in one transaction; refusals and failures leave the register as it was.
TallyOutcome run(Connection &conn, const QString &table, qint64 billId, std::initializer_list<int> editable,
                 const std::function<int(const Row &)> &body)
{
    TallyOutcome out;
    try {
        Transaction tx(conn);
        const std::optional<Row> bill = readRow(conn, table, billId);
        if (!bill)
            throw Refusal{QString::fromUtf8(TallyMessages::BillMissing)};
        const int state = (*bill)["State"].toInt();
        if (std::find(editable.begin(), editable.end(), state) == editable.end())
            throw Refusal{QString::fromUtf8(TallyMessages::AlreadyTallied)};
        out.ledgerRows = body(*bill);
        tx.commit();
        out.ok = true;
    } catch (const Refusal &r) {
        out.message = r.message;
        out.ledgerRows = 0;
    } catch (const DataError &e) {
        out.message = QString::fromUtf8(TallyMessages::SaveFailed);
        out.detail = e.message();
        out.ledgerRows = 0;
    }
    return out;
}

QVariant dateOrNull(const QVariant &v)
{
    return v.isNull() || v.toString().trimmed().isEmpty() ? QVariant() : v;
}

QString textOf(const QVariant &v) { return v.isNull() ? QString(QLatin1String("")) : v.toString(); }

} // namespace

QString billTable(BillKind kind)
{
    switch (kind) {
    case BillKind::Acquisition: return QStringLiteral("Asset_Add");
    case BillKind::Transfer: return QStringLiteral("Asset_Move");
    case BillKind::WriteOff: return QStringLiteral("Asset_Discard");
    case BillKind::Loan:
    case BillKind::LoanReturn: return QStringLiteral("Asset_Loan");
    case BillKind::Repair:
    case BillKind::RepairCompletion: return QStringLiteral("Asset_Service");
    }
    return QString();
}

bool billKindFromName(const QString &name, BillKind &kind)
{
    static const QList<QPair<QString, BillKind>> names = {
        {QStringLiteral("acquisition"), BillKind::Acquisition}, {QStringLiteral("transfer"), BillKind::Transfer},
        {QStringLiteral("writeoff"), BillKind::WriteOff},       {QStringLiteral("loan"), BillKind::Loan},
        {QStringLiteral("loan-return"), BillKind::LoanReturn},  {QStringLiteral("repair"), BillKind::Repair},
        {QStringLiteral("repair-completion"), BillKind::RepairCompletion}};
    for (const auto &n : names) {
        if (n.first == name) {
            kind = n.second;
            return true;
        }
    }
    return false;
}

TallyOutcome tallyAcquisition(Connection &conn, qint64 billId, const QDate &today)
{
    return run(conn, QStringLiteral("Asset_Add"), billId, {0}, [&](const Row &bill) {
        const qint64 count = bill.empty("AddNumber") ? 0 : bill["AddNumber"].toLongLong();
        if (count <= 0)
            throw Refusal{QString::fromUtf8(TallyMessages::ZeroQuantity)};
        if (bill.empty("Type"))
            throw Refusal{QString::fromUtf8(TallyMessages::NoCategory)};
        const QString type = bill.text("Type");

        // Two acquisitions numbering items at once would hand out the same
        // codes. SQLite holds the write lock from BEGIN IMMEDIATE; on
        // PostgreSQL the numbering waits for the other tally to commit.
        if (conn.engine() == Engine::PostgreSQL)
            conn.exec(QStringLiteral("SELECT pg_advisory_xact_lock(?, ?)"), QVariantList{0x5A454E54, int(qChecksum(QByteArrayView("asset.code")))});

        // Items of exactly this category are numbered on from their count; a
        // code already taken (an item deleted, or typed on a card) is never
        // handed out again, so the running number also starts past the largest
        // number in use.
        qint64 n = 0;
        qint64 largest = 0;
        QSqlQuery q = conn.query(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                     .arg(conn.quote(QStringLiteral("Code")), conn.quote(QStringLiteral("Asset")), conn.quote(QStringLiteral("Type"))),
                                 QVariantList{type});
        while (q.next()) {
            ++n;
            const QString code = q.value(0).toString();
            if (code.startsWith(type)) {
                bool ok = false;
                const QString rest = code.mid(type.size());
                const qint64 v = rest.toLongLong(&ok);
                if (ok && !rest.isEmpty() && rest.at(0).isDigit() && v > largest)
                    largest = v;
            }
        }
        const qint64 start = std::max(n, largest);

        const QStringList cols = {"Add_Id", "Code", "Type", "Name", "Unit", "Price", "Model", "Manufacturer", "ManufactureDate",
                                  "ManufactureCode", "BuyDate", "Firm", "Makeof", "AppType", "Transactor", "BuildDate", "State"};
        QStringList quoted, marks;
        for (const QString &c : cols) {
            quoted << conn.quote(c);
            marks << QStringLiteral("?");
        }
        const QString rowMarks = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        const Dialect &d = conn.dialect();
        const QVariantList fixed = {
            bill["Id"], QVariant(), type, textOf(bill["Name"]), textOf(bill["Unit"]),
            bill.empty("Price") ? 0.0 : bill["Price"].toDouble(), textOf(bill["Model"]), textOf(bill["Manufacturer"]),
            d.toDb(dateOrNull(bill["ManufactureDate"])), textOf(bill["ManufactureCode"]), d.toDb(dateOrNull(bill["BuyDate"])),
            textOf(bill["Firm"]), textOf(bill["Makeof"]), textOf(bill["AppType"]), textOf(bill["Transactor"]),
            d.toDb(QDateTime(today, QTime(0, 0))), 0};
        const auto codeOf = [&](qint64 r) { return QVariant(type + PadNumber(start + r + 1, 4)); };
        if (conn.engine() == Engine::PostgreSQL && conn.pgHandle()) {
            // A server answers each statement over the network: the items go
            // in through one COPY.
            conn.copyRows(QStringLiteral("Asset"), cols, count, [&](qint64 r, QVariantList &values) {
                values = fixed;
                values[1] = codeOf(r);
            });
        } else {
            // SQLite, in the same process, takes one prepared row at a time.
            QSqlQuery ins(conn.database());
            if (!ins.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                                 .arg(conn.quote(QStringLiteral("Asset")), quoted.join(QLatin1Char(',')), rowMarks)))
                throw DataError(Connection::lastErrorText(ins));
            for (qint64 r = 0; r < count; ++r) {
                for (int i = 0; i < fixed.size(); ++i)
                    ins.bindValue(i, i == 1 ? codeOf(r) : fixed[i]);
                if (!ins.exec())
                    throw DataError(Connection::lastErrorText(ins));
            }
        }
        setBillState(conn, QStringLiteral("Asset_Add"), billId, 1, {0});
        return int(count);
    });
}

TallyOutcome tallyTransfer(Connection &conn, qint64 billId)
{
    return run(conn, QStringLiteral("Asset_Move"), billId, {0}, [&](const Row &bill) {
        QSqlQuery lines = conn.query(QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 WHERE %6 = ? ORDER BY %7")
                                         .arg(conn.quote(QStringLiteral("AssetId")), conn.quote(QStringLiteral("keeper")),
                                              conn.quote(QStringLiteral("Place")), conn.quote(QStringLiteral("TechnicalState")),
                                              conn.quote(QStringLiteral("Asset_Move_Item")), conn.quote(QStringLiteral("MoveId")),
                                              conn.quote(QStringLiteral("Id"))),
                                     QVariantList{billId});
        struct Line {
            QVariant assetId;
            QString keeper, place, tech;
        };
        std::vector<Line> all;
        while (lines.next())
            all.push_back({lines.value(0), textOf(lines.value(1)), textOf(lines.value(2)), textOf(lines.value(3))});
        if (all.empty())
            throw Refusal{QString::fromUtf8(TallyMessages::NoTransferItems)};
        int changed = 0;
        for (const Line &l : all) {
            // Every item must still be on the ledger and in normal use.
            if (l.assetId.isNull())
                throw Refusal{QString::fromUtf8(TallyMessages::ItemMissing)};
            requireItemState(conn, l.assetId.toLongLong(), {0, 1}, TallyMessages::ItemNotInUse);
            changed += conn.exec(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ?, %4 = ?, %5 = ?, %6 = 1 WHERE %7 = ?")
                                     .arg(conn.quote(QStringLiteral("Asset")), conn.quote(QStringLiteral("Department")),
                                          conn.quote(QStringLiteral("keeper")), conn.quote(QStringLiteral("Place")),
                                          conn.quote(QStringLiteral("TechnicalState")), conn.quote(QStringLiteral("State")),
                                          conn.quote(QStringLiteral("Id"))),
                                 QVariantList{textOf(bill["ToDept"]), l.keeper, l.place, l.tech, l.assetId});
        }
        setBillState(conn, QStringLiteral("Asset_Move"), billId, 1, {0});
        return changed;
    });
}

namespace {
// The one-item tallies: check the bill, check the item, write the item, freeze the bill.
TallyOutcome oneItem(Connection &conn, const QString &table, qint64 billId, std::initializer_list<int> editable, int billTo,
                     const std::function<void(const Row &)> &check, std::initializer_list<int> itemStates, const char *itemRefusal,
                     const std::function<std::pair<QStringList, QVariantList>(const Row &)> &itemValues)
{
    return run(conn, table, billId, editable, [&](const Row &bill) {
        check(bill);
        const qint64 assetId = bill["AssetId"].toLongLong();
        requireItemState(conn, assetId, itemStates, itemRefusal);
        auto [cols, values] = itemValues(bill);
        QStringList sets;
        for (const QString &c : cols)
            sets << conn.quote(c) + QStringLiteral(" = ?");
        values << assetId;
        conn.exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                      .arg(conn.quote(QStringLiteral("Asset")), sets.join(QStringLiteral(", ")), conn.quote(QStringLiteral("Id"))),
                  values);
        setBillState(conn, table, billId, billTo, editable);
        return 1;
    });
}

std::function<void(const Row &)> requireItem(const char *message)
{
    return [message](const Row &bill) {
        if (bill.empty("AssetId"))
            throw Refusal{QString::fromUtf8(message)};
    };
}
} // namespace

TallyOutcome tallyWriteOff(Connection &conn, qint64 billId)
{
    auto check = [](const Row &bill) {
        requireItem(TallyMessages::NoWriteOffItem)(bill);
        // An empty date would stamp the item with no write-off date at all.
        if (bill.empty("DecDate"))
            throw Refusal{QString::fromUtf8(TallyMessages::NoWriteOffDate)};
    };
    return oneItem(conn, QStringLiteral("Asset_Discard"), billId, {0}, 1, check, {0, 1}, TallyMessages::ItemNotInUse, [&](const Row &bill) {
        return std::make_pair(QStringList{"DiscardDate", "DecType", "DiscardCause", "State"},
                              QVariantList{conn.dialect().toDb(dateOrNull(bill["DecDate"])), textOf(bill["DecType"]), textOf(bill["Cause"]), 4});
    });
}

TallyOutcome tallyLoan(Connection &conn, qint64 billId)
{
    return oneItem(conn, QStringLiteral("Asset_Loan"), billId, {0}, 1, requireItem(TallyMessages::NoLoanItem), {0, 1}, TallyMessages::ItemNotInUse, [](const Row &bill) {
        return std::make_pair(QStringList{"Department", "User", "State"}, QVariantList{textOf(bill["LoanDept"]), textOf(bill["Loaner"]), 2});
    });
}

TallyOutcome tallyRepair(Connection &conn, qint64 billId)
{
    return oneItem(conn, QStringLiteral("Asset_Service"), billId, {0}, 1, requireItem(TallyMessages::NoRepairItem), {0, 1}, TallyMessages::ItemNotInUse,
                   [](const Row &) { return std::make_pair(QStringList{"State"}, QVariantList{3}); });
}

TallyOutcome tallyLoanReturn(Connection &conn, qint64 billId)
{
    auto check = [](const Row &bill) {
        if (bill.empty("BackDate"))
            throw Refusal{QString::fromUtf8(TallyMessages::NoReturnDate)};
    };
    return oneItem(conn, QStringLiteral("Asset_Loan"), billId, {1, 2}, 3, check, {2}, TallyMessages::ItemNotLent, [](const Row &) {
        return std::make_pair(QStringList{"Department", "User", "State"}, QVariantList{QString(QLatin1String("")), QString(QLatin1String("")), 0});
    });
}

TallyOutcome tallyRepairCompletion(Connection &conn, qint64 billId)
{
    auto check = [](const Row &bill) {
        if (bill.empty("BackDate"))
            throw Refusal{QString::fromUtf8(TallyMessages::NoCompletionDate)};
    };
    return oneItem(conn, QStringLiteral("Asset_Service"), billId, {1, 2}, 3, check, {3}, TallyMessages::ItemNotUnderRepair, [](const Row &) {
        return std::make_pair(QStringList{"Department", "User", "State"}, QVariantList{QString(QLatin1String("")), QString(QLatin1String("")), 0});
    });
}

TallyOutcome tallyBill(Connection &conn, BillKind kind, qint64 billId, const QDate &today)
{
    switch (kind) {
    case BillKind::Acquisition: return tallyAcquisition(conn, billId, today);
    case BillKind::Transfer: return tallyTransfer(conn, billId);
    case BillKind::WriteOff: return tallyWriteOff(conn, billId);
    case BillKind::Loan: return tallyLoan(conn, billId);
    case BillKind::LoanReturn: return tallyLoanReturn(conn, billId);
    case BillKind::Repair: return tallyRepair(conn, billId);
    case BillKind::RepairCompletion: return tallyRepairCompletion(conn, billId);
    }
    return {};
}
