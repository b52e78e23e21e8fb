#pragma once
#include <QWidget>

class Connection;
class Dataset;
class DatasetTreeView;
class RecordPanelList;
class TreeWindowFrame;
class QToolButton;

// "部门维护": the department tree; each department is described on a panel
// of the scrolling list on the right.
class DeptWindow : public QWidget {
    Q_OBJECT
public:
    explicit DeptWindow(Connection *conn, QWidget *parent = nullptr);
    ~DeptWindow() override;

    bool queryClose();

    Dataset *departments() const { return m_depts; }
    DatasetTreeView *tree() const { return m_tree; }
    RecordPanelList *panels() const { return m_panels; }
    QToolButton *appendButton() const { return m_append; }
    QToolButton *deleteButton() const { return m_delete; }
    QToolButton *saveButton() const { return m_save; }

    void append();
    void removeCurrent();
    bool save();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    Connection *m_conn;
    Dataset *m_depts;
    TreeWindowFrame *m_frame;
    DatasetTreeView *m_tree;
    RecordPanelList *m_panels;
    QToolButton *m_append, *m_delete, *m_save;
};
