#include "data/datasetmodel.h"

#include <QLocale>
#include <cmath>

DatasetModel::DatasetModel(Dataset *ds, QObject *parent) : QAbstractTableModel(parent), m_ds(ds)
{
    connect(ds, &Dataset::layoutReset, this, [this] {
        beginResetModel();
        resolve();
        endResetModel();
    });
    connect(ds, &Dataset::rowsInserted, this, [this](int first, int last) {
        beginInsertRows({}, first, last);
        endInsertRows();
    });
    connect(ds, &Dataset::rowsRemoved, this, [this](int first, int last) {
        beginRemoveRows({}, first, last);
        endRemoveRows();
    });
    connect(ds, &Dataset::valueChanged, this, [this](int row, int) {
        if (row >= 0 && row < rowCount())
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
    resolve();
}

void DatasetModel::addColumn(const QString &field, const QString &title, Format format, int width)
{
    beginResetModel();
    if (m_autoColumns) {
        m_columns.clear();
        m_autoColumns = false;
    }
    m_columns.push_back({field, title, format, width, -1});
    resolve();
    endResetModel();
}

void DatasetModel::clearColumns()
{
    beginResetModel();
    m_columns.clear();
    m_autoColumns = true;
    resolve();
    endResetModel();
}

void DatasetModel::resolve()
{
    if (m_autoColumns) {
        m_columns.clear();
        for (int i = 0; i < m_ds->fieldCount(); ++i)
            m_columns.push_back({m_ds->field(i).name, m_ds->field(i).name, Format::Auto, 0, i});
        return;
    }
    for (Column &c : m_columns)
        c.fieldIndex = m_ds->fieldIndex(c.field);
}

int DatasetModel::columnOfField(const QString &field) const
{
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].field.compare(field, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QString DatasetModel::fieldOfColumn(int column) const
{
    return column >= 0 && column < int(m_columns.size()) ? m_columns[size_t(column)].field : QString();
}

void DatasetModel::setRowColor(std::function<QColor(const Dataset &, int)> fn)
{
    m_rowColor = std::move(fn);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

int DatasetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_ds->isOpen() ? 0 : m_ds->recordCount();
}

int DatasetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QString DatasetModel::shortDate(const QDate &d)
{
    // The year always has four digits, so a date of year 224 shows as
    // 0224/1/2 and the date editor reads it back as the same date.
    return d.isValid() ? QStringLiteral("%1/%2/%3").arg(d.year(), 4, 10, QLatin1Char('0')).arg(d.month()).arg(d.day()) : QString();
}

QString DatasetModel::format(const QVariant &v, Format f)
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (f) {
    case Format::ZeroHash: {
        // "0.##": at most two decimals, no trailing zeros.
        QString s = QString::number(std::round(v.toDouble() * 100.0) / 100.0, 'f', 2);
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
        return s == QLatin1String("-0") ? QStringLiteral("0") : s;
    }
    case Format::Money: {
        QLocale loc = QLocale::c();
        loc.setNumberOptions(QLocale::DefaultNumberOptions);
        return loc.toString(v.toDouble(), 'f', 2);
    }
    case Format::Date: return shortDate(v.toDateTime().date());
    case Format::DateTime: {
        const QDateTime dt = v.toDateTime();
        return shortDate(dt.date()) + QLatin1Char(' ') + dt.time().toString(QStringLiteral("HH:mm:ss"));
    }
    case Format::Integer: return QString::number(v.toLongLong());
    case Format::Auto: break;
    }
    switch (v.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        return dt.time() == QTime(0, 0) ? shortDate(dt.date()) : format(v, Format::DateTime);
    }
    case QMetaType::QDate: return shortDate(v.toDate());
    case QMetaType::Double: return format(v, Format::ZeroHash);
    case QMetaType::QByteArray: return QString();
    default: return v.toString();
    }
}

QVariant DatasetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const Column &col = m_columns[size_t(index.column())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (col.fieldIndex < 0)
            return {};
        return format(m_ds->valueAt(index.row(), col.fieldIndex), col.format);
    case Qt::EditRole:
        return col.fieldIndex < 0 ? QVariant() : m_ds->valueAt(index.row(), col.fieldIndex);
    case Qt::BackgroundRole:
        if (m_rowColor) {
            const QColor c = m_rowColor(*m_ds, m_ds->storageRow(index.row()));
            if (c.isValid())
                return c;
        }
        return {};
    case Qt::TextAlignmentRole: {
        if (col.fieldIndex < 0)
            return {};
        const FieldType t = m_ds->field(col.fieldIndex).type;
        if (col.format == Format::Money || col.format == Format::ZeroHash || t == FieldType::Double)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    default: return {};
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columnCount())
        return m_columns[size_t(section)].title;
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return QAbstractTableModel::headerData(section, orientation, role);
}
