#pragma once
#include <QWidget>

class Connection;
class Dataset;
class DataGrid;
class DatasetTreeView;
class TreeWindowFrame;
class QToolButton;

// "资产分类维护": the tree of asset categories. A new category is a child of
// the selected one, its id the parent's id and two hexadecimal digits.
class AssetTypeWindow : public QWidget {
    Q_OBJECT
public:
    explicit AssetTypeWindow(Connection *conn, QWidget *parent = nullptr);
    ~AssetTypeWindow() override;

    // The unsaved-changes question; true when the window may close.
    bool queryClose();

    Dataset *types() const { return m_types; }
    DatasetTreeView *tree() const { return m_tree; }
    DataGrid *grid() const { return m_grid; }
    QToolButton *appendButton() const { return m_append; }
    QToolButton *deleteButton() const { return m_delete; }
    QToolButton *saveButton() const { return m_save; }
    QToolButton *closeButton() const;

    void append();
    void removeCurrent();
    bool save();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    Connection *m_conn;
    Dataset *m_types;
    TreeWindowFrame *m_frame;
    DatasetTreeView *m_tree;
    DataGrid *m_grid;
    QToolButton *m_append, *m_delete, *m_save;
    bool m_shown = false;
};
