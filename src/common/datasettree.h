#pragma once
#include <QAbstractItemModel>
#include <QComboBox>
#include <QPointer>
#include <QSet>
#include <QTreeView>
#include <functional>
#include <vector>

class Dataset;
class FieldBinding;

// A tree over the rows of a dataset: key `Id`, parent `Parent_Id` (null at
// the root), label `Text`. It follows the dataset's notifications.
class DatasetTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit DatasetTreeModel(Dataset *ds, QObject *parent = nullptr);
    void setFields(const QString &key, const QString &parent, const QString &label);
    // The hint of a node: by default its label.
    void setHint(std::function<QString(const Dataset &, int storageRow)> fn) { m_hint = std::move(fn); }
    Dataset *dataset() const { return m_ds; }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QModelIndex indexOfKey(const QString &key) const;
    QModelIndex indexOfStorageRow(int storageRow) const;
    QString keyOf(const QModelIndex &index) const;
    int storageRowOf(const QModelIndex &index) const;
    void setExpanded(const QModelIndex &index, bool on);
    bool isExpandedKey(const QString &key) const { return m_expanded.contains(key); }

    void rebuild();

signals:
    void aboutToRebuild();
    void rebuilt();

private:
    struct Node {
        QString key;
        int storageRow;
        int parent; // node index, -1 for a root
        int rowInParent;
        std::vector<int> children;
    };
    QPointer<Dataset> m_ds;
    QString m_keyField = QStringLiteral("Id");
    QString m_parentField = QStringLiteral("Parent_Id");
    QString m_labelField = QStringLiteral("Text");
    std::function<QString(const Dataset &, int)> m_hint;
    std::vector<Node> m_nodes;
    std::vector<int> m_roots;
    QHash<QString, int> m_byKey;
    QHash<int, int> m_byStorage;
    QSet<QString> m_expanded;
};

// The tree of a tree window: selecting a node makes its row the current row
// of the dataset and moving the current row selects its node. Labels are
// read-only; a node's full label shows as its hint; node images 0 collapsed,
// 1 expanded, 2 selected.
class DatasetTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit DatasetTreeView(Dataset *ds, QWidget *parent = nullptr);
    DatasetTreeModel *treeModel() const { return m_model; }
    Dataset *dataset() const { return m_ds; }
    void setExpandOnSelect(bool on) { m_expandOnSelect = on; }
    // The key of the selected node; empty when none is selected.
    QString selectedKey() const;
    // Selects the node with that key, as a click would.
    bool selectKey(const QString &key);

signals:
    // A node became selected (by the user or by the dataset moving).
    void nodeSelected(const QString &key);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    void followDataset();
    void restoreAfterRebuild();

    QPointer<Dataset> m_ds;
    DatasetTreeModel *m_model;
    bool m_expandOnSelect = false;
    bool m_syncing = false;
    QString m_lastKey;
};

// A drop-down whose list is the tree of a dataset (categories); it stores the
// chosen node's key in a column of another dataset and shows its label.
class LookupTreeCombo : public QComboBox {
    Q_OBJECT
public:
    LookupTreeCombo(Dataset *bound, const QString &keyField, Dataset *tree, QWidget *parent = nullptr);
    FieldBinding *binding() const { return m_b; }
    QTreeView *treeView() const { return m_view; }
    // Picks the node with that key, as the user would (writes the bound column).
    bool pickKey(const QString &key);
    void showPopup() override;

private:
    void showKey(const QVariant &key);
    void selectIndex(const QModelIndex &idx);

    DatasetTreeModel *m_model;
    QTreeView *m_view;
    FieldBinding *m_b;
    bool m_skipNextHide = false;
};
