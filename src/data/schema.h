#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

class Connection;

// The stored column types of the register.
enum class ColumnType { AutoNumber, Long, Integer, Byte, Double, Date, Text, Memo, Picture };

struct ColumnDef {
    QString name;
    ColumnType type;
    int width = 0;      // characters, for Text
    QString label;      // caption the windows show
};

struct TableDef {
    QString name;
    std::vector<ColumnDef> columns;
    QStringList indexes;     // one index each: a column, or columns separated by commas
    QString primaryKey = QStringLiteral("Id");

    const ColumnDef *column(const QString &name) const; // case-insensitive
};

// The register's schema: every table, its DDL for either engine, the seed
// rows of a new register and the ordered upgrade steps.
namespace Schema {

constexpr int CurrentVersion = 3;

const std::vector<TableDef> &tables();
const TableDef *table(const QString &name); // case-insensitive
// The column of any table with that name, searched in `table` first.
const ColumnDef *column(const QString &table, const QString &column);

enum class State { Missing, Empty, Zentrav, Foreign };
// What the connected database holds: nothing at all, our tables, or someone else's.
State inspect(Connection &conn);
int storedVersion(Connection &conn);

// Creates every table, index and seed row in one transaction on an empty database.
void create(Connection &conn);
// Runs the upgrade steps from the stored version to CurrentVersion in one transaction.
void upgrade(Connection &conn);
// Opens a database for use: creates the schema when empty, upgrades ours,
// refuses anything else with a DataError.
void ensure(Connection &conn);

QStringList createStatements(const Connection &conn);

// Names of the rights levels seeded into PopedomItem.
QStringList rightsLevelNames();
QString adminCode();

} // namespace Schema
