#include "reference/assetpicker.h"

#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/filter.h"
#include "reference/refshared.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QPointer<AssetPickerDialog> g_shared;
}

AssetPickerDialog::AssetPickerDialog(Connection *conn, QWidget *parent) : QDialog(parent), m_conn(conn)
{
    setWindowTitle(QStringLiteral("选择物品"));
    // No buttons in the title bar: the dialog is left by "确认" or "返回".
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFont(UiLook::font(15));
    resize(670, 555);
    setSizeGripEnabled(true);

    m_types = new Dataset(conn, this);
    m_types->setSql(Reference::selectAll(*conn, QStringLiteral("AssetType"), conn->quote(QStringLiteral("Code"))));
    m_types->setReadOnly(true);
    Reference::addNodeLabel(*m_types, 40, true);
    m_types->open();
    m_items = new Dataset(conn, this);
    m_items->setSql(QStringLiteral("select * from %1 where %2<2").arg(conn->quote(QStringLiteral("Asset")), conn->quote(QStringLiteral("State"))));
    m_items->setUpdateTable(QStringLiteral("Asset"));
    m_items->setReadOnly(true);
    m_items->open();

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *bar = new QWidget(this);
    bar->setAutoFillBackground(true);
    QPalette p = bar->palette();
    p.setColor(QPalette::Window, QColor(236, 236, 228));
    bar->setPalette(p);
    auto *barLay = new QHBoxLayout(bar);
    barLay->setContentsMargins(10, 4, 6, 4);
    barLay->addWidget(UiLook::titleLabel(QStringLiteral("选择物品"), bar));
    barLay->addSpacing(20);
    m_ok = UiLook::iconButton(QStringLiteral("确认"), QIcon(), bar);
    m_cancel = UiLook::iconButton(QStringLiteral("返回"), QIcon(), bar);
    for (QToolButton *b : {m_ok, m_cancel}) {
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setText(b->toolTip());
        barLay->addWidget(b);
    }
    m_ok->setObjectName(QStringLiteral("OkBtn"));
    m_cancel->setObjectName(QStringLiteral("CancelBtn"));
    barLay->addStretch(1);
    outer->addWidget(bar);

    auto *upper = new QWidget(this);
    upper->setFixedHeight(248);
    auto *upperLay = new QHBoxLayout(upper);
    upperLay->setContentsMargins(2, 2, 2, 2);
    m_tree = new DatasetTreeView(m_types, upper);
    m_tree->setObjectName(QStringLiteral("AssettypedxDBTreeView"));
    m_tree->treeModel()->setHint(&Reference::fullNodeLabel);
    m_tree->setFixedWidth(287);
    upperLay->addWidget(m_tree);

    auto *detail = new QWidget(upper);
    UiLook::applyDataAreaLook(detail);
    auto *g = new QGridLayout(detail);
    g->setContentsMargins(6, 4, 6, 4);
    g->setHorizontalSpacing(4);
    g->setVerticalSpacing(3);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(3, 1);
    auto field = [&](const QString &label, const QString &f, int row, int col, int span = 1) {
        auto *e = new BoundLineEdit(m_items, f, detail);
        e->setReadOnly(true);
        g->addWidget(formLabel(label, detail), row, col * 2);
        g->addWidget(e, row, col * 2 + 1, 1, span * 2 - 1);
    };
    field(QStringLiteral("物品编号"), QStringLiteral("Code"), 0, 0);
    field(QStringLiteral("物品名称"), QStringLiteral("Name"), 0, 1);
    field(QStringLiteral("规格型号"), QStringLiteral("Model"), 1, 0);
    field(QStringLiteral("计量单位"), QStringLiteral("Unit"), 1, 1);
    field(QStringLiteral("物品原值"), QStringLiteral("Price"), 2, 0);
    field(QStringLiteral("生产厂商"), QStringLiteral("Manufacturer"), 2, 1);
    field(QStringLiteral("存放位置"), QStringLiteral("Place"), 3, 0, 2);
    auto *makeof = new BoundMemo(m_items, QStringLiteral("Makeof"), detail);
    makeof->setReadOnly(true);
    g->addWidget(formLabel(QStringLiteral("详细配置"), detail), 4, 0, Qt::AlignTop | Qt::AlignRight);
    g->addWidget(makeof, 4, 1, 1, 3);
    g->setRowStretch(4, 1);
    field(QStringLiteral("使用部门"), QStringLiteral("Department"), 5, 0);
    field(QStringLiteral("建档日期"), QStringLiteral("BuildDate"), 5, 1);
    field(QStringLiteral("保管人员"), QStringLiteral("keeper"), 6, 0);
    field(QStringLiteral("使用人员"), QStringLiteral("User"), 6, 1);
    upperLay->addWidget(detail, 1);
    outer->addWidget(upper);

    m_grid = new DataGrid(m_items, this);
    m_grid->setObjectName(QStringLiteral("StafferDBGridEh"));
    m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("物品编号"), 126, Qt::AlignCenter);
    m_grid->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 154);
    m_grid->addColumn(QStringLiteral("Model"), QStringLiteral("物品型号"), 120, Qt::AlignCenter);
    m_grid->addColumn(QStringLiteral("Makeof"), QStringLiteral("详细配置"), 300);
    m_grid->setFrozenColumns(2);
    outer->addWidget(m_grid, 1);

    connect(m_ok, &QToolButton::clicked, this, &AssetPickerDialog::confirm);
    connect(m_cancel, &QToolButton::clicked, this, &AssetPickerDialog::back);
    connect(m_tree, &DatasetTreeView::nodeSelected, this, &AssetPickerDialog::filterByCategory);
    connect(m_grid, &QAbstractItemView::doubleClicked, this, &AssetPickerDialog::confirm);
}

AssetPickerDialog::~AssetPickerDialog() = default;

AssetPickerDialog *AssetPickerDialog::shared(Connection *conn)
{
    if (g_shared && g_shared->m_conn != conn) {
        delete g_shared;
        g_shared = nullptr;
    }
    if (!g_shared)
        g_shared = new AssetPickerDialog(conn);
    return g_shared;
}

void AssetPickerDialog::releaseShared()
{
    delete g_shared;
    g_shared = nullptr;
}

std::optional<qint64> AssetPickerDialog::chooseAsset(Connection *conn, QWidget *)
{
    AssetPickerDialog *dlg = shared(conn);
    dlg->exec();
    if (dlg->pickResult() != 1)
        return std::nullopt;
    return dlg->currentId();
}

std::optional<qint64> AssetPickerDialog::currentId() const
{
    if (!m_items->isOpen() || m_items->isEmpty() || m_items->currentRow() < 0)
        return std::nullopt;
    return m_items->asInt(QStringLiteral("Id"));
}

void AssetPickerDialog::reload()
{
    try {
        // requery keeps the filter and the sort and returns to the same key.
        const QString category = m_category;
        m_types->requery();
        m_items->requery();
        if (!category.isEmpty() && !m_types->locate(QStringLiteral("Id"), category)) {
            // The chosen category is gone: show every item again.
            m_category.clear();
            m_items->setFiltered(false);
        }
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
}

int AssetPickerDialog::exec()
{
    m_pickResult = 0;
    reload();
    return QDialog::exec();
}

void AssetPickerDialog::showEvent(QShowEvent *e)
{
    m_pickResult = 0;
    QDialog::showEvent(e);
    m_tree->expandAll();
}

void AssetPickerDialog::filterByCategory(const QString &id)
{
    try {
        m_category = id.trimmed();
        m_items->filterTo(Filter::startsWith(QStringLiteral("Type"), m_category));
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
}

void AssetPickerDialog::confirm()
{
    // With no item listed there is nothing to hand back.
    m_pickResult = currentId() ? 1 : 0;
    if (m_pickResult)
        accept();
    else
        reject();
}

void AssetPickerDialog::back()
{
    m_pickResult = 0;
    reject();
}

void AssetPickerDialog::closeEvent(QCloseEvent *e)
{
    m_pickResult = 0;
    QDialog::closeEvent(e);
}
