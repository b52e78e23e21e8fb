#include "common/datasettree.h"

#include "common/boundeditors.h"
#include "common/prompter.h"
#include "common/uilook.h"
#include "data/dataset.h"
#include "data/errors.h"

#include <QHeaderView>
#include <QIcon>
#include <QMouseEvent>

// ---- DatasetTreeModel ------------------------------------------------------

DatasetTreeModel::DatasetTreeModel(Dataset *ds, QObject *parent) : QAbstractItemModel(parent), m_ds(ds)
{
    connect(ds, &Dataset::layoutReset, this, &DatasetTreeModel::rebuild);
    connect(ds, &Dataset::rowsInserted, this, &DatasetTreeModel::rebuild);
    connect(ds, &Dataset::rowsRemoved, this, &DatasetTreeModel::rebuild);
    connect(ds, &Dataset::opened, this, &DatasetTreeModel::rebuild);
    connect(ds, &Dataset::valueChanged, this, [this](int row, int field) {
        if (!m_ds || row < 0 || row >= m_ds->recordCount())
            return;
        const QString name = m_ds->field(field).name;
        if (name.compare(m_keyField, Qt::CaseInsensitive) == 0 || name.compare(m_parentField, Qt::CaseInsensitive) == 0) {
            rebuild();
            return;
        }
        const QModelIndex idx = indexOfStorageRow(m_ds->storageRow(row));
        if (idx.isValid())
            emit dataChanged(idx, idx);
    });
    rebuild();
}

void DatasetTreeModel::setFields(const QString &key, const QString &parent, const QString &label)
{
    m_keyField = key;
    m_parentField = parent;
    m_labelField = label;
    rebuild();
}

void DatasetTreeModel::rebuild()
{
    emit aboutToRebuild();
    beginResetModel();
    m_nodes.clear();
    m_roots.clear();
    m_byKey.clear();
    m_byStorage.clear();
    if (m_ds && m_ds->isOpen() && m_ds->hasField(m_keyField) && m_ds->hasField(m_parentField)) {
        const int kf = m_ds->fieldIndex(m_keyField);
        const int pf = m_ds->fieldIndex(m_parentField);
        const int n = m_ds->recordCount();
        m_nodes.reserve(size_t(n));
        std::vector<QString> parents;
        parents.reserve(size_t(n));
        for (int r = 0; r < n; ++r) {
            const int s = m_ds->storageRow(r);
            const QVariant k = m_ds->storageValue(s, kf);
            const QVariant p = m_ds->storageValue(s, pf);
            Node node{k.isNull() ? QString() : k.toString(), s, -1, 0, {}};
            m_byStorage.insert(s, int(m_nodes.size()));
            if (!node.key.isEmpty() && !m_byKey.contains(node.key))
                m_byKey.insert(node.key, int(m_nodes.size()));
            m_nodes.push_back(node);
            parents.push_back(p.isNull() ? QString() : p.toString());
        }
        for (size_t i = 0; i < m_nodes.size(); ++i) {
            const QString &p = parents[i];
            const int pi = p.isEmpty() ? -1 : m_byKey.value(p, -1);
            // A row whose parent is missing is shown at the top, so nothing held is hidden.
            if (pi < 0 || pi == int(i)) {
                m_nodes[i].parent = -1;
                m_nodes[i].rowInParent = int(m_roots.size());
                m_roots.push_back(int(i));
            } else {
                m_nodes[i].parent = pi;
                m_nodes[i].rowInParent = int(m_nodes[size_t(pi)].children.size());
                m_nodes[size_t(pi)].children.push_back(int(i));
            }
        }
    }
    endResetModel();
    emit rebuilt();
}

QModelIndex DatasetTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const std::vector<int> &list = parent.isValid() ? m_nodes[size_t(parent.internalId())].children : m_roots;
    if (row >= int(list.size()))
        return {};
    return createIndex(row, 0, quintptr(list[size_t(row)]));
}

QModelIndex DatasetTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    const int p = m_nodes[size_t(child.internalId())].parent;
    if (p < 0)
        return {};
    return createIndex(m_nodes[size_t(p)].rowInParent, 0, quintptr(p));
}

int DatasetTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return parent.isValid() ? int(m_nodes[size_t(parent.internalId())].children.size()) : int(m_roots.size());
}

int DatasetTreeModel::columnCount(const QModelIndex &) const { return 1; }

QVariant DatasetTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_ds || !m_ds->isOpen())
        return {};
    const Node &n = m_nodes[size_t(index.internalId())];
    switch (role) {
    case Qt::DisplayRole: {
        const int lf = m_ds->fieldIndex(m_labelField);
        return lf >= 0 ? m_ds->storageValue(n.storageRow, lf).toString() : n.key;
    }
    case Qt::ToolTipRole: {
        if (m_hint)
            return m_hint(*m_ds, n.storageRow);
        return data(index, Qt::DisplayRole);
    }
    case Qt::DecorationRole: {
        QIcon icon;
        const QIcon base = UiLook::nodeImage(!n.children.empty() && m_expanded.contains(n.key) ? 1 : 0);
        icon.addPixmap(base.pixmap(16, 16), QIcon::Normal);
        icon.addPixmap(UiLook::nodeImage(2).pixmap(16, 16), QIcon::Selected);
        return icon;
    }
    default: return {};
    }
}

Qt::ItemFlags DatasetTreeModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QModelIndex DatasetTreeModel::indexOfKey(const QString &key) const
{
    const int i = m_byKey.value(key, -1);
    return i < 0 ? QModelIndex() : createIndex(m_nodes[size_t(i)].rowInParent, 0, quintptr(i));
}

QModelIndex DatasetTreeModel::indexOfStorageRow(int storageRow) const
{
    const int i = m_byStorage.value(storageRow, -1);
    return i < 0 ? QModelIndex() : createIndex(m_nodes[size_t(i)].rowInParent, 0, quintptr(i));
}

QString DatasetTreeModel::keyOf(const QModelIndex &index) const
{
    return index.isValid() ? m_nodes[size_t(index.internalId())].key : QString();
}

int DatasetTreeModel::storageRowOf(const QModelIndex &index) const
{
    return index.isValid() ? m_nodes[size_t(index.internalId())].storageRow : -1;
}

void DatasetTreeModel::setExpanded(const QModelIndex &index, bool on)
{
    const QString k = keyOf(index);
    if (k.isEmpty())
        return;
    if (on)
        m_expanded.insert(k);
    else
        m_expanded.remove(k);
    emit dataChanged(index, index, {Qt::DecorationRole});
}

// ---- DatasetTreeView ---------------------------------------------------------

DatasetTreeView::DatasetTreeView(Dataset *ds, QWidget *parent) : QTreeView(parent), m_ds(ds)
{
    m_model = new DatasetTreeModel(ds, this);
    setModel(m_model);
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    UiLook::applyDataAreaLook(this);
    connect(this, &QTreeView::expanded, m_model, [this](const QModelIndex &i) { m_model->setExpanded(i, true); });
    connect(this, &QTreeView::collapsed, m_model, [this](const QModelIndex &i) { m_model->setExpanded(i, false); });
    connect(m_model, &DatasetTreeModel::rebuilt, this, &DatasetTreeView::restoreAfterRebuild);
    connect(ds, &Dataset::currentRowChanged, this, &DatasetTreeView::followDataset);
    // A click on the node that is already current chooses it again (the
    // node shown at opening is current but not yet chosen).
    restoreAfterRebuild();
}

QString DatasetTreeView::selectedKey() const
{
    return m_model->keyOf(currentIndex());
}

bool DatasetTreeView::selectKey(const QString &key)
{
    const QModelIndex idx = m_model->indexOfKey(key);
    if (!idx.isValid())
        return false;
    if (idx == currentIndex())
        emit nodeSelected(key); // chosen again: its branch is applied anew
    else
        setCurrentIndex(idx);
    return true;
}

void DatasetTreeView::mousePressEvent(QMouseEvent *e)
{
    // A click on the node that is already current chooses it again (the
    // node shown at opening is current but not yet chosen).
    const QModelIndex idx = indexAt(e->position().toPoint());
    const bool again = idx.isValid() && idx == currentIndex() && !m_model->keyOf(idx).isEmpty();
    QTreeView::mousePressEvent(e);
    if (again && e->button() == Qt::LeftButton)
        emit nodeSelected(m_model->keyOf(idx));
}

void DatasetTreeView::restoreAfterRebuild()
{
    // The model was reset: open again what was open, select the dataset's row.
    m_syncing = true;
    std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        for (int r = 0; r < m_model->rowCount(parent); ++r) {
            const QModelIndex i = m_model->index(r, 0, parent);
            if (m_model->isExpandedKey(m_model->keyOf(i)))
                setExpanded(i, true);
            walk(i);
        }
    };
    walk({});
    m_syncing = false;
    followDataset();
}

void DatasetTreeView::followDataset()
{
    if (m_syncing || !m_ds || !m_ds->isOpen())
        return;
    const int row = m_ds->currentRow();
    const QModelIndex idx = row >= 0 ? m_model->indexOfStorageRow(m_ds->storageRow(row)) : QModelIndex();
    m_syncing = true;
    if (idx.isValid()) {
        for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
            if (!isExpanded(p))
                expand(p);
        if (currentIndex() != idx)
            selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
        scrollTo(idx);
    } else {
        selectionModel()->clearCurrentIndex();
        selectionModel()->clearSelection();
    }
    m_syncing = false;
    const QString key = m_model->keyOf(idx);
    if (idx.isValid() && key != m_lastKey) {
        m_lastKey = key;
        if (m_expandOnSelect)
            expand(idx);
        emit nodeSelected(key);
    }
}

void DatasetTreeView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTreeView::currentChanged(current, previous);
    if (m_syncing || !current.isValid() || !m_ds || !m_ds->isOpen())
        return;
    // The user (or selectKey) chose this node: its row becomes current and
    // the node is announced, even when the dataset was already on it.
    const QString key = m_model->keyOf(current);
    m_lastKey = key;
    const int row = m_ds->rowOfStorage(m_model->storageRowOf(current));
    if (row >= 0 && row != m_ds->currentRow()) {
        try {
            m_ds->setCurrentRow(row);
        } catch (const DataError &e) {
            Prompter::instance().information(e.message());
            return;
        }
    }
    if (m_expandOnSelect)
        expand(current);
    emit nodeSelected(key);
}

// ---- LookupTreeCombo -------------------------------------------------------------

LookupTreeCombo::LookupTreeCombo(Dataset *bound, const QString &keyField, Dataset *tree, QWidget *parent)
    : QComboBox(parent)
{
    m_model = new DatasetTreeModel(tree, this);
    m_view = new QTreeView(this);
    m_view->setHeaderHidden(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setUniformRowHeights(true);
    setModel(m_model);
    setView(m_view);
    m_view->setMinimumHeight(240);
    connect(m_view, &QTreeView::expanded, m_model, [this](const QModelIndex &i) { m_model->setExpanded(i, true); });
    connect(m_view, &QTreeView::collapsed, m_model, [this](const QModelIndex &i) { m_model->setExpanded(i, false); });
    m_b = new FieldBinding(bound, keyField, this, [this](const QVariant &v) { showKey(v); });
    // The combo box closes its popup itself on a click or Enter and names the
    // row under its root; the tree's own current node is the one chosen.
    connect(this, qOverload<int>(&QComboBox::activated), this, [this] {
        const QModelIndex idx = m_view->currentIndex();
        if (!idx.isValid())
            return;
        selectIndex(idx);
        m_b->write(m_model->keyOf(idx));
    });
    connect(m_model, &DatasetTreeModel::rebuilt, this, [this] { m_b->refresh(); });
    m_b->refresh();
}

void LookupTreeCombo::selectIndex(const QModelIndex &idx)
{
    const QSignalBlocker block(this);
    setRootModelIndex(idx.parent());
    setCurrentIndex(idx.row());
    setRootModelIndex(QModelIndex());
    m_view->setCurrentIndex(idx);
}

void LookupTreeCombo::showKey(const QVariant &key)
{
    const QModelIndex idx = key.isNull() ? QModelIndex() : m_model->indexOfKey(key.toString());
    if (idx.isValid()) {
        selectIndex(idx);
    } else {
        const QSignalBlocker block(this);
        setRootModelIndex(QModelIndex());
        setCurrentIndex(-1);
    }
}

bool LookupTreeCombo::pickKey(const QString &key)
{
    const QModelIndex idx = m_model->indexOfKey(key);
    if (!idx.isValid())
        return false;
    selectIndex(idx);
    return m_b->write(key);
}

void LookupTreeCombo::showPopup()
{
    setRootModelIndex(QModelIndex());
    m_view->expandAll();
    QComboBox::showPopup();
    const QModelIndex idx = m_b->value().isNull() ? QModelIndex() : m_model->indexOfKey(m_b->value().toString());
    if (idx.isValid())
        m_view->setCurrentIndex(idx);
}
