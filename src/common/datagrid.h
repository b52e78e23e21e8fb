#pragma once
#include "common/helpers.h"
#include "data/datasetmodel.h"

#include <QHash>
#include <QHeaderView>
#include <QTableView>
#include <functional>

class Dataset;
class QLabel;

// The model under a DataGrid: the dataset's columns as DatasetModel gives
// them, plus per-column alignment and, for editable grids, typing into the
// current row (the change is a pending change of the dataset).
class GridModel : public DatasetModel {
    Q_OBJECT
public:
    using DatasetModel::DatasetModel;
    void setAlignment(int column, Qt::Alignment a) { m_align[column] = a; }
    void setEditable(int column, bool on) { m_editable[column] = on; }
    bool isEditable(int column) const { return m_editable.value(column, false); }
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    QHash<int, Qt::Alignment> m_align;
    QHash<int, bool> m_editable;
};

// A column title bar that draws the sort marks of the columns.
class MarkedHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit MarkedHeader(QWidget *parent = nullptr);
    SortMarker marker(int section) const { return m_markers.value(section, SortMarker::None); }
    void setMarker(int section, SortMarker m);
    void clearMarkers();

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    QHash<int, SortMarker> m_markers;
};

// The grid of every list window: a QTableView over one Dataset that follows
// its current row both ways, sorts on a title click (first click descending
// with the down mark, then alternating), colours rows, keeps leading columns
// in place while scrolling sideways, shows a footer row and finds text (Ctrl+F).
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(Dataset *ds, QWidget *parent = nullptr);
    ~DataGrid() override;

    Dataset *dataset() const { return m_ds; }
    GridModel *gridModel() const { return m_model; }

    // Adds a column; width 0 leaves it to the view. Alignment applies to the cells.
    int addColumn(const QString &field, const QString &title, int width = 0,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter,
                  DatasetModel::Format format = DatasetModel::Format::Auto);
    // Typing into this column edits the current row; text is limited to the column's width.
    void setColumnEditable(int column, bool on = true);
    void setRowColor(std::function<QColor(const Dataset &, int storageRow)> fn);
    void setSortable(bool on) { m_sortable = on; }

    // Columns 0..n-1 stay in place when the grid scrolls sideways.
    void setFrozenColumns(int n);
    int frozenColumns() const { return m_frozen; }

    // A footer row under the grid; `text` gives the text of a column (empty: nothing).
    void setFooter(std::function<QString(int column)> text);
    void refreshFooter();
    QString footerText(int column) const;

    // Ends an edit open in a cell, writing what was typed.
    void commitEdit();

    // A click on a column title, as the user would make it (Ctrl held keeps the other marks).
    void clickTitle(int column, bool ctrlHeld = false);
    SortMarker marker(int column) const;

    // Moves to the next row (after the current one, wrapping) whose cell in
    // `column` (-1: any column) contains `text`; false when there is none.
    bool findNext(const QString &text, int column = -1, bool fromCurrent = true);
    // Shows the find dialog (Ctrl+F).
    void showFindDialog();

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void resizeEvent(QResizeEvent *e) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void updateGeometries() override;

private:
    void syncFromDataset();
    void onTitleClicked(int section);
    void layoutFrozen();
    void layoutFooter();

    Dataset *m_ds;
    GridModel *m_model;
    MarkedHeader *m_header;
    QTableView *m_frozenView = nullptr;
    int m_frozen = 0;
    class FooterBar *m_footer = nullptr;
    std::function<QString(int)> m_footerText;
    bool m_sortable = true;
    bool m_syncing = false;
    QString m_lastFind;
};
