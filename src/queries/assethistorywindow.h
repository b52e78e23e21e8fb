#pragma once
#include <QColor>
#include <QWidget>

class Connection;
class Dataset;
class DataGrid;
class DatasetTreeView;
class QTabWidget;
class RecordPanelList;

// Everything the register knows about one item: pick a category in the tree,
// an item in the list, and read its card, its acquisition bill, its
// transfers, loans and returns, repairs and write-off. Nothing can be changed.
class AssetHistoryWindow : public QWidget {
    Q_OBJECT
public:
    explicit AssetHistoryWindow(Connection *conn, QWidget *parent = nullptr);

    Dataset *types() const { return m_types; }
    Dataset *items() const { return m_items; }
    Dataset *acquisition() const { return m_add; }
    Dataset *transfers() const { return m_moves; }
    Dataset *loans() const { return m_loans; }
    Dataset *repairs() const { return m_repairs; }
    Dataset *writeOff() const { return m_discard; }
    DatasetTreeView *tree() const { return m_tree; }
    DataGrid *grid() const { return m_grid; }
    QTabWidget *pages() const { return m_pages; }
    RecordPanelList *transferPanels() const { return m_movePanels; }
    RecordPanelList *loanPanels() const { return m_loanPanels; }
    RecordPanelList *repairPanels() const { return m_repairPanels; }

    // The items of a category and of every category below it (ids that begin with `id`).
    void chooseCategory(const QString &id);

    // Row colour of an item by its state: in use, lent, under repair, written off.
    static QColor stateColour(int state);

private:
    Dataset *m_types;
    Dataset *m_items;
    Dataset *m_add;
    Dataset *m_moves;
    Dataset *m_loans;
    Dataset *m_repairs;
    Dataset *m_discard;
    DatasetTreeView *m_tree;
    DataGrid *m_grid;
    QTabWidget *m_pages;
    RecordPanelList *m_movePanels;
    RecordPanelList *m_loanPanels;
    RecordPanelList *m_repairPanels;
};
