#pragma once
#include "data/filter.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class Connection;
class ColumnStore;

enum class FieldType { Integer, Double, DateTime, Text, Blob, Variant };

struct Field {
    enum Kind { Data, Lookup, Calculated };
    QString name;
    FieldType type = FieldType::Variant;
    Kind kind = Data;
    int width = 0;           // characters for text columns of the update table; 0 = no limit
    QString label;           // caption from the schema, used in messages
    bool isLong = false;     // memo or picture: not sortable from a grid
    bool writable = false;   // a column of the update table that a save writes
    bool autoNumber = false; // assigned by the engine on insert
    // Lookup: value of `lookupResult` in `lookupDataset` where `lookupKey` equals our `keyField`.
    QString keyField;
    QPointer<class Dataset> lookupDataset;
    QString lookupKey;
    QString lookupResult;
    std::function<QVariant(const class Dataset &, int row)> calculate; // row: a storage row
};

// An in-memory table read by one statement or a whole table, with a cursor,
// pending changes written in the caller's transaction, in-memory filter and
// sort, master/detail links, lookup and calculated fields.
//
// Rows live in column storage: numbers unboxed, texts as UTF-8 in one arena
// per column, decoded into QString only when a value is asked for. A row is
// named two ways: its position among the visible rows (`row` below, what
// grids show) and its storage index (stable while the dataset is open; a
// bookmark is one).
class Dataset : public QObject {
    Q_OBJECT
public:
    enum class RowState : quint8 { Unchanged, Inserted, Modified, Deleted, Gone };
    using Predicate = std::function<bool(int)>;
    enum class EditState { Browse, Edit, Insert };
    using Bookmark = qint64;

    explicit Dataset(Connection *conn = nullptr, QObject *parent = nullptr);
    ~Dataset() override;

    // ---- source ----
    void setConnection(Connection *conn) { m_conn = conn; }
    Connection *connection() const { return m_conn; }
    // A statement with named parameters (":minDate").
    void setSql(const QString &sql);
    QString sql() const { return m_sql; }
    // A whole table; also makes it the update table.
    void setTable(const QString &table);
    // The table a save writes to (the Id column names the row).
    void setUpdateTable(const QString &table, const QString &keyColumn = QStringLiteral("Id"));
    QString updateTable() const { return m_updateTable; }
    void setParam(const QString &name, const QVariant &value);
    QVariant param(const QString &name) const;
    void setReadOnly(bool ro) { m_readOnly = ro; }
    bool isReadOnly() const { return m_readOnly; }

    void open();
    void close();
    bool isOpen() const { return m_open; }
    // Re-runs the statement; pending changes are dropped, the filter and sort are kept,
    // and the cursor returns to the row with the same key when it is still there.
    void requery();
    // A whole table of many rows on SQLite is read in the background: open()
    // returns with the first rows and the rest follow (loaded() is emitted).
    // Whatever needs every row (editing, saving, locate, walking past the
    // last row, disableControls) waits for them first.
    bool isLoading() const;
    void finishLoading();
    // Tables of at least `rows` rows are read that way (200,000 unless set),
    // `firstRows` of them before open() returns (2,000 unless set).
    static void setBackgroundRows(qint64 rows, int firstRows = 2000);
    // From this size on (100,000 unless set) work is shared by two threads:
    // a statement given a split table (setSplitTable) whose keys span this
    // many is read in halves, and this many rows are put in their row order
    // (setRowOrder) on two threads.
    static void setParallelRows(qint64 rows);

    // ---- fields ----
    int fieldCount() const { return int(m_fields.size()); }
    const Field &field(int index) const { return m_fields[size_t(index)]; }
    int fieldIndex(const QString &name) const; // case-insensitive; -1 when absent
    bool hasField(const QString &name) const { return fieldIndex(name) >= 0; }
    QStringList fieldNames() const;
    // Must be added before open() or after it; they read, never write.
    void addLookupField(const QString &name, const QString &keyField, Dataset *lookup,
                        const QString &lookupKey, const QString &lookupResult);
    void addCalculatedField(const QString &name, FieldType type,
                            std::function<QVariant(const Dataset &, int storageRow)> fn);

    // ---- cursor ----
    int recordCount() const { return int(m_view.size()); }
    bool isEmpty() const { return m_view.empty(); }
    int currentRow() const { return m_cur; } // -1 when empty
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    void first();
    void last();
    void next();
    void prior();
    void setCurrentRow(int row);
    Bookmark bookmark() const;
    bool bookmarkValid(Bookmark b) const;
    bool gotoBookmark(Bookmark b);
    // Moves to the first visible row whose column equals value.
    bool locate(const QString &column, const QVariant &value);

    // ---- values of the current row ----
    QVariant value(const QString &column) const;
    bool isNull(const QString &column) const;
    QString asString(const QString &column) const;     // null: ""
    qint64 asInt(const QString &column) const;         // null: 0
    double asDouble(const QString &column) const;      // null: 0
    QDateTime asDateTime(const QString &column) const; // null: invalid
    QDate asDate(const QString &column) const;
    // Starts an edit of the current row when none is in progress.
    // Throws DataError when the value does not fit the column.
    void setValue(const QString &column, const QVariant &value);

    // ---- values by position ----
    QVariant valueAt(int row, int field) const;                 // visible row
    QVariant storageValue(int storageRow, int field) const;
    QVariant storageValue(int storageRow, const QString &column) const;
    int storageRow(int row) const { return int(m_view[size_t(row)]); }
    int rowOfStorage(int storageRow) const; // visible position, -1 when hidden
    RowState rowState(int row) const;
    RowState storageRowState(int storageRow) const { return RowState(m_rowState[size_t(storageRow)]); }

    // ---- editing ----
    EditState editState() const { return m_editState; }
    void append();
    void edit();
    void post();
    void cancel();
    void remove();

    bool hasPendingUpdates() const;
    int pendingCount() const;
    // Writes every pending row in the caller's transaction: deletes, updates,
    // inserts, each a prepared statement. An update or delete names the row by
    // its key and the original values of the columns it changes; when no row
    // matches, someone else changed or deleted it and a conflict is raised.
    void applyUpdates();
    // After the caller's commit: marks the written rows clean and gives new
    // rows the ids the engine assigned.
    void commitUpdates();
    // Drops every pending change.
    void cancelUpdates();
    // Frees the statements of the last save; call after a rollback (the save
    // helpers do) or let the next save do it.
    void releaseStatements();

    // ---- filter and sort ----
    void setFilter(const Filter &f);
    const Filter &filter() const { return m_filter; }
    void setFilterText(const QString &text); // parsed; throws DataError on bad syntax
    QString filterText() const { return m_filterText; }
    void setFiltered(bool on);
    // Sets the filter, turns it on and goes to the first row, rebuilding the
    // visible rows once (the windows' "show this branch").
    void filterTo(const Filter &f);
    bool isFiltered() const { return m_filtered; }
    // "Column", "Column ASC" or "Column DESC"; empty for the statement's order.
    void setSort(const QString &sortText);
    QString sort() const { return m_sortText; }
    // The order the statement's rows are kept in once read, by these result
    // columns, each ascending: texts by their bytes (code point order), an
    // empty text and a null one alike, as they print; numbers and dates by
    // value, nulls first; rows equal on every column
    // keep the statement's order. For large lists this is cheaper than an
    // ORDER BY: the engine would sort the whole wide rows, often through
    // temporary files, where this sorts row numbers, mostly by small ranks.
    // Takes effect at the next open or requery.
    void setRowOrder(const QStringList &columns) { m_rowOrder = columns; }
    QStringList rowOrder() const { return m_rowOrder; }
    // The statement reads `table` and ends with its WHERE clause (in brackets
    // where it has an OR): on SQLite a large one is then read in two halves
    // of the table's key range at once, each half on a connection of its own,
    // both in one state of the database. Not inside a transaction, where only
    // this connection sees what it has written. (PostgreSQL scans in parallel
    // itself; halves there cost more than they save.)
    void setSplitTable(const QString &table) { m_splitTable = table; }

    // ---- master/detail ----
    // Follows the master's current row over rows already held: detail.keyFields == master.masterFields.
    void setMasterByKeys(Dataset *master, const QStringList &keyFields, const QStringList &masterFields);
    // Re-runs the statement whenever the master's row changes, taking every
    // parameter named like a master column from the master's current row.
    void setMasterByParams(Dataset *master);
    void detachMaster();
    Dataset *master() const { return m_master; }

    // ---- notifications ----
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disabled > 0; }

    // Incremented by every change of rows or values; lookups use it to refresh their index.
    quint64 changeStamp() const { return m_stamp; }
    int findStorageRow(int field, const QVariant &value) const; // all live rows; -1 if none

signals:
    void currentRowChanged(int row);
    void valueChanged(int row, int field);
    void rowsInserted(int first, int last);
    void rowsRemoved(int first, int last);
    void layoutReset();
    void editStateChanged();
    void opened();
    void loaded();

private:
    friend class DatasetLoader;
    struct Background;
    friend class DatasetStateGuard;
    Predicate compileFilter(const Filter &f) const;
    void applyFilterState(const Filter &f, const QString &text, bool on);
    void resetStorage();
    void addDataField(const Field &f);
    void orderStoredRows();
    void takeHalves(std::vector<std::unique_ptr<class ColumnStore>> &first, std::vector<std::unique_ptr<class ColumnStore>> &second, int rows);
    void rebuildView();
    bool rowPasses(int storageRow) const;
    void sortView();
    void setCursor(int row, bool emitSignal = true);
    void notifyReset();
    void touch() { ++m_stamp; }
    int requireField(const QString &name) const;
    int currentStorage() const;
    QVariant coerce(const Field &f, const QVariant &v) const;
    void writeCell(int storageRow, int field, const QVariant &v);
    std::vector<QVariant> snapshotRow(int storageRow) const;
    void restoreRow(int storageRow, const std::vector<QVariant> &values);
    void onMasterScrolled();
    void loadRows();
    int compareCells(int a, int b, int field) const;
    bool cellEquals(int storageRow, int field, const QVariant &v) const;
    int visibleRowWithKey(int keyField, const QVariant &key) const;
    int lookupRow(const Field &f, int storageRow) const;

    Connection *m_conn = nullptr;
    QString m_sql;
    QString m_table;
    QString m_updateTable;
    QString m_keyColumn = QStringLiteral("Id");
    QVariantMap m_params;
    bool m_readOnly = false;
    bool m_open = false;

    std::vector<Field> m_fields;
    std::vector<Field> m_extraFields; // lookup and calculated fields, kept across reopen
    QHash<QString, int> m_fieldIndex; // lower-case name -> index
    std::vector<std::unique_ptr<ColumnStore>> m_columns; // per field; null for lookup/calculated
    std::vector<quint8> m_rowState;
    int m_rowCount = 0; // storage rows
    std::unordered_map<int, std::vector<QVariant>> m_originals; // modified/deleted rows: values as read

    std::vector<quint32> m_view;
    std::vector<qint32> m_viewPos; // storage -> visible, -1 hidden
    int m_cur = -1;
    bool m_eof = true;
    bool m_bof = true;

    EditState m_editState = EditState::Browse;
    std::vector<QVariant> m_editSnapshot;
    bool m_editTouched = false;

    Filter m_filter;
    Predicate m_predicate;
    QString m_filterText;
    bool m_filtered = false;
    QString m_sortText;
    QStringList m_rowOrder;
    QString m_splitTable;
    int m_sortField = -1;
    bool m_sortDesc = false;

    QPointer<Dataset> m_master;
    QStringList m_keyFields;
    QStringList m_masterFields;
    bool m_masterByParams = false;
    QMetaObject::Connection m_masterConn;

    int m_disabled = 0;
    bool m_changedWhileDisabled = false;
    quint64 m_stamp = 0;

    // Statements of the last save, kept until its transaction has ended
    // (PostgreSQL cannot free a prepared statement inside an aborted one).
    std::unique_ptr<QHash<QString, class QSqlQuery>> m_prepared;

    struct Applied {
        std::vector<std::pair<int, qint64>> newIds; // storage row -> assigned id
        bool valid = false;
    } m_applied;

    std::unique_ptr<Background> m_background;
    bool m_allowBackground = true;

    mutable QHash<int, QHash<QString, int>> m_keyIndex; // field -> value text -> storage row
    mutable quint64 m_keyIndexStamp = ~quint64(0);
};

// Stops the grids and editors bound to a dataset from repainting and, when
// it ends (also through an exception), puts back the filter, its on/off state,
// the master link and the current row as they were.
class DatasetStateGuard {
public:
    explicit DatasetStateGuard(Dataset &ds);
    ~DatasetStateGuard();
    DatasetStateGuard(const DatasetStateGuard &) = delete;
    DatasetStateGuard &operator=(const DatasetStateGuard &) = delete;

private:
    Dataset &m_ds;
    QString m_filterText;
    bool m_filtered;
    Dataset::Bookmark m_bookmark;
    Filter m_filter;
};
