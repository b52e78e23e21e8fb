#include "reference/deptwindow.h"

#include "common/datasettree.h"
#include "common/helpers.h"
#include "common/prompter.h"
#include "common/recordpanels.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "reference/refshared.h"

#include <QCloseEvent>
#include <QToolButton>
#include <QVBoxLayout>

DeptWindow::DeptWindow(Connection *conn, QWidget *parent) : QWidget(parent), m_conn(conn)
{
    setWindowTitle(QStringLiteral("部门维护"));
    setFont(UiLook::font(15));
    m_depts = new Dataset(conn, this);
    m_depts->setSql(Reference::selectAll(*conn, QStringLiteral("Department"), conn->quote(QStringLiteral("Code"))));
    m_depts->setUpdateTable(QStringLiteral("Department"));
    Reference::addNodeLabel(*m_depts, 60, false);
    m_depts->open();

    m_frame = new TreeWindowFrame(QStringLiteral("部门维护"), this);
    m_append = m_frame->addButton(QStringLiteral("增加"), QStringLiteral("AppendBtn"));
    m_delete = m_frame->addButton(QStringLiteral("删除"), QStringLiteral("DelBtn"));
    m_save = m_frame->addButton(QStringLiteral("保存"), QStringLiteral("SaveBtn"));

    m_tree = new DatasetTreeView(m_depts, m_frame);
    m_tree->setObjectName(QStringLiteral("DeptdxDBTreeView"));
    m_tree->setExpandOnSelect(true);
    m_tree->treeModel()->setHint(&Reference::fullNodeLabel);
    m_panels = new RecordPanelList(m_depts, [](RecordPanel &p) {
        p.addLine(QStringLiteral("部门编号"), QStringLiteral("Code"));
        p.addLine(QStringLiteral("部门名称"), QStringLiteral("Name"));
        p.addMemo(QStringLiteral("部门描述"), QStringLiteral("Summary"));
    }, 3, m_frame);
    m_frame->setPanes(m_tree, m_panels, 320);

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_frame);

    connect(m_append, &QToolButton::clicked, this, &DeptWindow::append);
    connect(m_delete, &QToolButton::clicked, this, &DeptWindow::removeCurrent);
    connect(m_save, &QToolButton::clicked, this, [this] { save(); });
}

DeptWindow::~DeptWindow() = default;

void DeptWindow::append()
{
    try {
        if (m_depts->isEmpty()) {
            m_depts->append();
            m_depts->setValue(QStringLiteral("Id"), QStringLiteral("00"));
            m_depts->setValue(QStringLiteral("Code"), QStringLiteral("00"));
        } else {
            const QString parent = m_depts->asString(QStringLiteral("Id"));
            const QString id = NextChildId(*m_depts, parent);
            m_depts->append();
            m_depts->setValue(QStringLiteral("Id"), id);
            m_depts->setValue(QStringLiteral("Parent_Id"), parent);
            m_depts->setValue(QStringLiteral("Code"), id);
        }
        m_depts->setValue(QStringLiteral("Name"), QStringLiteral("NoName"));
        m_depts->post();
    } catch (const DataError &e) {
        m_depts->cancel();
        Prompter::instance().information(e.message(), QString(), this);
    }
}

void DeptWindow::removeCurrent()
{
    if (m_depts->isEmpty())
        return;
    if (HasChildren(*m_depts, m_depts->asString(QStringLiteral("Id")))) {
        Prompter::instance().information(QStringLiteral("本部门有下级部门,不可删除！"), QString(), this);
        return;
    }
    m_depts->remove();
}

bool DeptWindow::save()
{
    return TreeWindow::save(*m_conn, {m_depts}, QStringLiteral("保存失败！"), this);
}

bool DeptWindow::queryClose()
{
    return TreeWindow::askToSave(this, HasPendingUpdates(*m_depts), [this] { return save(); }, [this] { m_depts->cancelUpdates(); });
}

void DeptWindow::closeEvent(QCloseEvent *e)
{
    if (queryClose())
        e->accept();
    else
        e->ignore();
}
