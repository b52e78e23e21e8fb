#include "reference/assettypewindow.h"

#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/helpers.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "reference/refshared.h"

#include <QCloseEvent>
#include <QToolButton>
#include <QVBoxLayout>

AssetTypeWindow::AssetTypeWindow(Connection *conn, QWidget *parent) : QWidget(parent), m_conn(conn)
{
    setWindowTitle(QStringLiteral("资产分类维护"));
    setFont(UiLook::font(15));
    m_types = new Dataset(conn, this);
    m_types->setSql(QStringLiteral("select %1,%2,%3,%4 from %5 order by %2")
                        .arg(conn->quote(QStringLiteral("Id")), conn->quote(QStringLiteral("Code")), conn->quote(QStringLiteral("Name")),
                             conn->quote(QStringLiteral("Parent_Id")), conn->quote(QStringLiteral("AssetType"))));
    m_types->setUpdateTable(QStringLiteral("AssetType"));
    Reference::addNodeLabel(*m_types, 30, true);
    m_types->open();

    m_frame = new TreeWindowFrame(QStringLiteral("资产分类维护"), this);
    m_append = m_frame->addButton(QStringLiteral("增加"), QStringLiteral("AppendBtn"));
    m_delete = m_frame->addButton(QStringLiteral("删除"), QStringLiteral("DelBtn"));
    m_save = m_frame->addButton(QStringLiteral("保存"), QStringLiteral("SaveBtn"));

    m_tree = new DatasetTreeView(m_types, m_frame);
    m_tree->setObjectName(QStringLiteral("AssettypedxDBTreeView"));
    m_tree->treeModel()->setHint(&Reference::fullNodeLabel);
    m_grid = new DataGrid(m_types, m_frame);
    m_grid->setObjectName(QStringLiteral("AssetTypeDBGridEh"));
    m_grid->setColumnEditable(m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("分类编号"), 168));
    m_grid->setColumnEditable(m_grid->addColumn(QStringLiteral("Name"), QStringLiteral("分类名称"), 225));
    m_frame->setPanes(m_tree, m_grid, 320);

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_frame);

    connect(m_append, &QToolButton::clicked, this, &AssetTypeWindow::append);
    connect(m_delete, &QToolButton::clicked, this, &AssetTypeWindow::removeCurrent);
    connect(m_save, &QToolButton::clicked, this, [this] { save(); });
}

AssetTypeWindow::~AssetTypeWindow() = default;

QToolButton *AssetTypeWindow::closeButton() const { return m_frame->closeButton(); }

void AssetTypeWindow::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        m_tree->expandAll();
    }
}

void AssetTypeWindow::append()
{
    try {
        if (m_types->isEmpty()) {
            m_types->append();
            m_types->setValue(QStringLiteral("Id"), QStringLiteral("00"));
            m_types->setValue(QStringLiteral("Code"), QStringLiteral("00"));
            m_types->setValue(QStringLiteral("Name"), QStringLiteral("NoName"));
        } else {
            const QString parent = m_types->asString(QStringLiteral("Id"));
            const QString id = NextChildId(*m_types, parent);
            m_types->append();
            m_types->setValue(QStringLiteral("Id"), id);
            m_types->setValue(QStringLiteral("Parent_Id"), parent);
            m_types->setValue(QStringLiteral("Code"), id.mid(2, 18));
            m_types->setValue(QStringLiteral("Name"), QStringLiteral("NoName"));
        }
        m_types->post();
    } catch (const DataError &e) {
        m_types->cancel();
        Prompter::instance().information(e.message(), QString(), this);
    }
}

void AssetTypeWindow::removeCurrent()
{
    if (m_types->isEmpty())
        return;
    if (HasChildren(*m_types, m_types->asString(QStringLiteral("Id")))) {
        Prompter::instance().information(QStringLiteral("本分类有下级分类,不可删除！"), QString(), this);
        return;
    }
    m_types->remove();
}

bool AssetTypeWindow::save()
{
    return TreeWindow::save(*m_conn, {m_types}, QStringLiteral("保存失败！"), this);
}

bool AssetTypeWindow::queryClose()
{
    return TreeWindow::askToSave(this, HasPendingUpdates(*m_types), [this] { return save(); }, [this] { m_types->cancelUpdates(); });
}

void AssetTypeWindow::closeEvent(QCloseEvent *e)
{
    if (queryClose())
        e->accept();
    else
        e->ignore();
}
