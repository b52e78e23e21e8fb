#pragma once
#include <QWidget>

class Connection;
class Dataset;
class DataGrid;
class DatasetTreeView;
class RecordPanelList;

// What one person has out on loan: choose a department and a person; the
// loans tallied and not yet returned whose borrower bears that name show as
// panels, and print as a list.
class PersonalLoansWindow : public QWidget {
    Q_OBJECT
public:
    explicit PersonalLoansWindow(Connection *conn, QWidget *parent = nullptr);

    Dataset *departments() const { return m_depts; }
    Dataset *staff() const { return m_staff; }
    Dataset *loans() const { return m_loans; }
    DatasetTreeView *tree() const { return m_tree; }
    DataGrid *staffGrid() const { return m_staffGrid; }
    RecordPanelList *panels() const { return m_panels; }

    // The staff of a department and of every department below it.
    void chooseDepartment(const QString &id);
    void print();

private:
    Dataset *m_depts;
    Dataset *m_staff;
    Dataset *m_loans;
    DatasetTreeView *m_tree;
    DataGrid *m_staffGrid;
    RecordPanelList *m_panels;
};
