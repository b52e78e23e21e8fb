#include "reports/engine/reportdata.h"
#include "data/dataset.h"

int ReportData::fieldIndex(const QString &name) const
{
    const QStringList names = fieldNames();
    const QString wanted = name.trimmed();
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    const int dot = wanted.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        return fieldIndex(wanted.mid(dot + 1));
    return -1;
}

DatasetReportData::DatasetReportData(const Dataset &ds) : m_ds(ds)
{
    const_cast<Dataset &>(ds).finishLoading();
}

int DatasetReportData::rowCount() const
{
    return m_ds.recordCount();
}

QStringList DatasetReportData::fieldNames() const
{
    return m_ds.fieldNames();
}

QVariant DatasetReportData::value(int row, int field) const
{
    return m_ds.valueAt(row, field);
}

QVariant RowsReportData::value(int row, int field) const
{
    const QVariantList &r = m_rows[row];
    return field >= 0 && field < r.size() ? r[field] : QVariant();
}
