#pragma once
#include "data/dataset.h"

#include <QAbstractTableModel>
#include <QColor>
#include <functional>

// A table model over one Dataset's visible rows: the columns the window
// chooses, with titles, display formats and a background colour per row.
// It follows the dataset's notifications and never re-reads.
class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Format { Auto, ZeroHash, Money, Date, DateTime, Integer };
    struct Column {
        QString field;
        QString title;
        Format format = Format::Auto;
        int width = 0; // pixels; 0 leaves it to the view
        int fieldIndex = -1;
    };

    explicit DatasetModel(Dataset *ds, QObject *parent = nullptr);

    void addColumn(const QString &field, const QString &title, Format format = Format::Auto, int width = 0);
    void clearColumns();
    const std::vector<Column> &columns() const { return m_columns; }
    int columnOfField(const QString &field) const;
    QString fieldOfColumn(int column) const;
    Dataset *dataset() const { return m_ds; }

    void setRowColor(std::function<QColor(const Dataset &, int storageRow)> fn);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString format(const QVariant &value, Format format);
    // The program's short date form, the same on every desk.
    static QString shortDate(const QDate &d);

private:
    void resolve();
    std::vector<Column> m_columns;
    bool m_autoColumns = true;
    Dataset *m_ds;
    std::function<QColor(const Dataset &, int)> m_rowColor;
};
