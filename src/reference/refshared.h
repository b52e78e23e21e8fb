#pragma once
#include <QString>
#include <QStringList>

class Connection;
class Dataset;

namespace Reference {

// "[Code]Name" of a tree row, cut at `bytes` bytes of GBK. With
// `emptyWhenNull`, a null Code or Name gives an empty label (categories);
// otherwise a null part counts as empty text (departments).
QString nodeLabel(const QVariant &code, const QVariant &name, int bytes, bool emptyWhenNull);
// Adds the calculated label `Text` to a tree dataset.
void addNodeLabel(Dataset &ds, int bytes, bool emptyWhenNull);
// The uncut label, for the node's hint.
QString fullNodeLabel(const Dataset &ds, int storageRow);

// The first column of every row of a statement, as text (choice lists).
QStringList readNames(Connection &conn, const QString &sql);

// A tree or list dataset of a whole table's columns, ordered by `orderBy`
// (already quoted for the engine), written back to `table`.
QString selectAll(Connection &conn, const QString &table, const QString &orderBy = QString());

} // namespace Reference
