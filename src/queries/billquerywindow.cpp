#include "queries/billquerywindow.h"

#include "bills/billframe.h"
#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "queries/billqueries.h"
#include "queries/readonlyform.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QDate s_today;
}

void BillQueryWindow::setTodayForTests(const QDate &d)
{
    s_today = d;
}

BillQueryWindow::BillQueryWindow(Kind kind, Connection *conn, QWidget *parent) : QWidget(parent), m_kind(kind), m_conn(conn)
{
    static const char *const captions[] = {"物品增加单查询", "物品调拨单查询", "物品销账单查询"};
    static const char *const names[] = {"TAssetAddQueryForm", "TAssetMoveQueryForm", "TAssetDiscardQueryForm"};
    const int k = int(kind);
    const QString caption = QString::fromUtf8(captions[k]);
    setWindowTitle(caption);
    setObjectName(QLatin1String(names[k]));
    setFont(UiLook::font(15));

    auto *bar = new QWidget(this);
    auto *barLay = new QHBoxLayout(bar);
    barLay->setContentsMargins(10, 4, 6, 4);
    barLay->addWidget(UiLook::titleLabel(caption, bar));
    barLay->addSpacing(24);
    m_from = new DateEdit(bar);
    m_from->setObjectName(QStringLiteral("minDateEdit"));
    m_to = new DateEdit(bar);
    m_to->setObjectName(QStringLiteral("MaxDateEdit"));
    for (DateEdit *e : {m_from, m_to}) {
        e->setFixedWidth(120);
        UiLook::applyEditorLook(e);
    }
    barLay->addWidget(m_from);
    barLay->addWidget(new QLabel(QStringLiteral("至"), bar));
    barLay->addWidget(m_to);
    QToolButton *refreshBtn = UiLook::iconButton(QStringLiteral("刷新"), QIcon(), bar);
    refreshBtn->setObjectName(QStringLiteral("RefreshBtn"));
    barLay->addWidget(refreshBtn);
    barLay->addStretch(1);
    QToolButton *closeBtn = UiLook::iconButton(QStringLiteral("退出"), QIcon(), bar);
    closeBtn->setObjectName(QStringLiteral("CloseBtn"));
    barLay->addWidget(closeBtn);

    m_list = new Dataset(conn, this);
    m_list->setReadOnly(true);
    if (kind == Kind::Transfers) {
        m_lines = new Dataset(conn, this);
        m_lines->setSql(BillQueries::transferLinesSql(conn->dialect()));
        m_lines->setReadOnly(true);
        m_lines->setMasterByParams(m_list);
    }

    auto *splitter = new QSplitter(this);
    m_grid = new DataGrid(m_list, splitter);
    m_grid->setObjectName(kind == Kind::Transfers ? QStringLiteral("AssetMoveDBGridEh") : QStringLiteral("AssetAddDBGridEh"));
    m_grid->setRowColor([](const Dataset &ds, int row) {
        const QVariant s = ds.storageValue(row, QStringLiteral("State"));
        return BillFrame::stateColour(s.isNull() ? 0 : s.toInt(), false);
    });
    auto *right = new QWidget(splitter);
    auto *rightLay = new QVBoxLayout(right);
    auto group = [&](const QString &title, QWidget *content) {
        auto *g = new QGroupBox(title, right);
        (new QVBoxLayout(g))->addWidget(content);
        return g;
    };
    QStringList legend;
    switch (kind) {
    case Kind::Acquisitions:
        rightLay->addWidget(group(QStringLiteral("单据信息"),
                                  readOnlyCard(m_list, {{{"单据编号", "Code"}, {"采购日期", "BuyDate"}, {"供应厂商", "Firm"}},
                                                        {{"增加方式", "AppType"}, {"增加数量", "AddNumber"}, {"经办人员", "Transactor"}},
                                                        {{"验收人员", "Checker"}, {"制单人员", "Controller"}, {"制单日期", "BuildDate"}}},
                                               right)));
        rightLay->addWidget(group(QStringLiteral("物品信息"),
                                  readOnlyCard(m_list, {{{"物品分类", "Typename", 2}, {"物品名称", "Name"}},
                                                        {{"规格型号", "Model"}, {"计量单位", "Unit"}, {"物品原值", "Price"}},
                                                        {{"生产厂商", "Manufacturer"}, {"生产日期", "ManufactureDate"}, {"出厂编号", "ManufactureCode"}}},
                                               right)));
        rightLay->addWidget(readOnlyMemo(m_list, QStringLiteral("详细配置"), QStringLiteral("Makeof"), right), 1);
        legend = {QStringLiteral("增加单未登帐"), QStringLiteral("增加单已登帐")};
        break;
    case Kind::Transfers: {
        rightLay->addWidget(group(QStringLiteral("单据信息"),
                                  readOnlyCard(m_list, {{{"单据编号", "Code"}, {"调拨日期", "MoveDate"}},
                                                        {{"调出部门", "FromDept"}, {"调出部门经手人", "FromMgr"}},
                                                        {{"调入部门", "ToDept"}, {"调入部门经手人", "ToMgr"}},
                                                        {{"批准人员", "Manager"}, {"制单人员", "Controller"}},
                                                        {{"制单日期", "BuildDate"}}},
                                               right, 2)));
        rightLay->addWidget(readOnlyMemo(m_list, QStringLiteral("备注"), QStringLiteral("Summary"), right));
        auto *tabs = new QTabWidget(right);
        m_lineGrid = new DataGrid(m_lines, tabs);
        m_lineGrid->setObjectName(QStringLiteral("AssetMoveItemDBGridEh"));
        m_lineGrid->addColumn(QStringLiteral("AssetCode"), QStringLiteral("物品编号"), 110);
        m_lineGrid->addColumn(QStringLiteral("name"), QStringLiteral("物品名称"), 150);
        m_lineGrid->addColumn(QStringLiteral("model"), QStringLiteral("规格型号"), 100);
        m_lineGrid->addColumn(QStringLiteral("Makeof"), QStringLiteral("详细配置"), 150);
        m_lineGrid->addColumn(QStringLiteral("Manufacturer"), QStringLiteral("生产厂商"), 120);
        tabs->addTab(m_lineGrid, QStringLiteral("物品列表"));
        auto *detail = new QWidget(tabs);
        auto *detailLay = new QVBoxLayout(detail);
        detailLay->addWidget(readOnlyCard(m_lines, {{{"存放位置", "Place"}, {"调入部门保管员", "keeper"}},
                                                    {{"技术状态", "TechnicalState", 2}},
                                                    {{"物品编号", "AssetCode"}, {"物品名称", "Name"}},
                                                    {{"物品型号", "Model"}, {"生产厂商", "Manufacturer"}}},
                                          detail, 2));
        detailLay->addWidget(readOnlyMemo(m_lines, QStringLiteral("详细配置"), QStringLiteral("Makeof"), detail), 1);
        tabs->addTab(detail, QStringLiteral("物品明细"));
        rightLay->addWidget(group(QStringLiteral("调拨物品明细"), tabs), 1);
        legend = {QStringLiteral("调拨单未登帐"), QStringLiteral("调拨单已登帐")};
        break;
    }
    case Kind::WriteOffs:
        rightLay->addWidget(group(QStringLiteral("单据信息"),
                                  readOnlyCard(m_list, {{{"单据编号", "Code"}, {"销账日期", "DecDate"}},
                                                        {{"销账方式", "DecType"}, {"批准人员", "Manager"}},
                                                        {{"经办人员", "Transactor"}, {"制单人员", "Controller"}},
                                                        {{"制单日期", "BuildDate"}}},
                                               right, 2)));
        rightLay->addWidget(readOnlyMemo(m_list, QStringLiteral("销账原因"), QStringLiteral("Cause"), right));
        rightLay->addWidget(group(QStringLiteral("物品信息"),
                                  readOnlyCard(m_list, {{{"物品编号", "AssetCode"}, {"物品名称", "Name"}}, {{"规格型号", "Model"}, {"生产厂商", "Manufacturer"}}},
                                               right, 2)));
        rightLay->addWidget(readOnlyMemo(m_list, QStringLiteral("详细配置"), QStringLiteral("Makeof"), right), 1);
        legend = {QStringLiteral("销账单未登帐"), QStringLiteral("销账单已登帐")};
        break;
    }
    auto *legendLay = new QHBoxLayout;
    for (int s = 0; s < legend.size(); ++s) {
        auto *l = new QLabel(legend[s], right);
        l->setFrameShape(QFrame::Box);
        l->setAlignment(Qt::AlignCenter);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, BillFrame::stateColour(s, false));
        l->setPalette(p);
        legendLay->addWidget(l);
    }
    rightLay->addLayout(legendLay);
    splitter->addWidget(m_grid);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({360, 640});

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(bar);
    lay->addWidget(splitter, 1);

    const QDate now = s_today.isValid() ? s_today : QDate::currentDate();
    m_from->setDate(BillFrame::monthBefore(now));
    m_to->setDate(now);
    openList(m_from->date(), now);

    switch (kind) {
    case Kind::Acquisitions:
        m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 110);
        m_grid->addColumn(QStringLiteral("BuildDate"), QStringLiteral("制单日期"), 90, Qt::AlignCenter, DatasetModel::Format::Date);
        m_grid->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 150);
        m_grid->addColumn(QStringLiteral("Controller"), QStringLiteral("制单人员"), 80);
        break;
    case Kind::Transfers:
        m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 110);
        m_grid->addColumn(QStringLiteral("ToDept"), QStringLiteral("调入部门"), 180);
        break;
    case Kind::WriteOffs:
        m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 110);
        m_grid->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 150);
        m_grid->addColumn(QStringLiteral("DecType"), QStringLiteral("销账类型"), 90);
        break;
    }
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);

    connect(refreshBtn, &QToolButton::clicked, this, [this] { refresh(); });
    connect(closeBtn, &QToolButton::clicked, this, [this] { TreeWindow::closeWindow(this); });
}

void BillQueryWindow::openList(const QDate &from, const QDate &to)
{
    const Dialect &d = m_conn->dialect();
    const BillQuery q = m_kind == Kind::Acquisitions ? BillQueries::acquisitions(d, from, to)
                        : m_kind == Kind::Transfers  ? BillQueries::transfers(d, from, to)
                                                     : BillQueries::writeOffs(d, from, to);
    try {
        if (m_lines)
            m_lines->close();
        m_list->close();
        m_list->setSql(q.sql);
        for (auto it = q.params.cbegin(); it != q.params.cend(); ++it)
            m_list->setParam(it.key(), it.value());
        m_list->open();
        if (m_lines)
            m_lines->open();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
}

bool BillQueryWindow::refresh()
{
    QDate from, to;
    if (!DateEdit::readWindow(m_from, m_to, this, from, to))
        return false;
    openList(from, to);
    return true;
}
