#pragma once
#include <QDialog>
#include <optional>

class Connection;
class Dataset;
class DataGrid;
class DatasetTreeView;
class QToolButton;

// "选择物品": the one item picker the bill windows share. It lists the
// items in normal use (state 0 or 1), narrowed to a branch of the category
// tree, and hands back the chosen item's Id. Closing only hides it, so the
// category, filter, sort and current item are there at the next showing.
class AssetPickerDialog : public QDialog {
    Q_OBJECT
public:
    explicit AssetPickerDialog(Connection *conn, QWidget *parent = nullptr);
    ~AssetPickerDialog() override;

    // The program's one picker, made on first use on `conn`.
    static AssetPickerDialog *shared(Connection *conn);
    // Drops the shared picker (the connection is closing).
    static void releaseShared();
    // The calling sequence of the bill windows: shows the picker modally and
    // returns the chosen item's Id, or nothing when the user did not confirm
    // or there was no item to choose.
    static std::optional<qint64> chooseAsset(Connection *conn, QWidget *parent = nullptr);

    // 1 after "确认" with an item current, otherwise 0.
    int pickResult() const { return m_pickResult; }
    // The Id of the current item; nothing when the list is empty.
    std::optional<qint64> currentId() const;

    // Re-reads items and categories, keeping category, sort and current item
    // where they still exist. Run at every showing.
    void reload();

    Dataset *items() const { return m_items; }
    Dataset *categories() const { return m_types; }
    DatasetTreeView *tree() const { return m_tree; }
    DataGrid *grid() const { return m_grid; }
    QToolButton *okButton() const { return m_ok; }
    QToolButton *cancelButton() const { return m_cancel; }

public slots:
    int exec() override;
    void confirm();
    void back();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void filterByCategory(const QString &id);

    Connection *m_conn;
    Dataset *m_types;
    Dataset *m_items;
    DatasetTreeView *m_tree;
    DataGrid *m_grid;
    QToolButton *m_ok, *m_cancel;
    int m_pickResult = 0;
    QString m_category; // the chosen branch; empty: unfiltered
};
