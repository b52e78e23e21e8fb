#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

class Dataset;

// The rows a report runs over, with fields found by name (case-insensitive;
// "Asset.Code" also finds "Code").
class ReportData {
public:
    virtual ~ReportData() = default;
    virtual int rowCount() const = 0;
    virtual QStringList fieldNames() const = 0;
    virtual QVariant value(int row, int field) const = 0;
    int fieldIndex(const QString &name) const;
};

// The visible rows of a dataset as they stand: its filter and sort, pending
// rows included, deleted rows left out. The dataset's cursor is not moved.
class DatasetReportData : public ReportData {
public:
    // A printout covers every row: a table still being read is waited for.
    explicit DatasetReportData(const Dataset &ds);
    int rowCount() const override;
    QStringList fieldNames() const override;
    QVariant value(int row, int field) const override;

private:
    const Dataset &m_ds;
};

// Rows handed over as values (queries of the command-line tool, tests).
class RowsReportData : public ReportData {
public:
    RowsReportData() = default;
    RowsReportData(const QStringList &fields, QList<QVariantList> rows) : m_fields(fields), m_rows(std::move(rows)) {}
    void setFields(const QStringList &fields) { m_fields = fields; }
    void append(const QVariantList &row) { m_rows.append(row); }
    int rowCount() const override { return int(m_rows.size()); }
    QStringList fieldNames() const override { return m_fields; }
    QVariant value(int row, int field) const override;

private:
    QStringList m_fields;
    QList<QVariantList> m_rows;
};
