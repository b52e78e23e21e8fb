#include "queries/assethistorywindow.h"
#include "queries/readonlyform.h"

#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "common/recordpanels.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/filter.h"
#include "reference/refshared.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The Windows colours the rows were designed in.
const QColor GradientActiveCaption(185, 209, 234);
const QColor GradientInactiveCaption(215, 228, 242);
const QColor MoneyGreen(192, 220, 192);

void openOrTell(Dataset *ds, QWidget *w)
{
    try {
        ds->open();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), w);
    }
}

// Panels whose boxes show but never take text.
RecordPanelList *panels(Dataset *ds, const std::vector<std::pair<const char *, const char *>> &lines, QWidget *parent)
{
    auto fields = lines;
    auto *list = new RecordPanelList(
        ds,
        [fields](RecordPanel &p) {
            for (const auto &[label, field] : fields) {
                if (QByteArray(label).startsWith("memo:")) {
                    p.addMemo(QString::fromUtf8(label + 5), QLatin1String(field));
                    if (auto *m = qobject_cast<QPlainTextEdit *>(p.editorOf(QLatin1String(field))))
                        m->setReadOnly(true);
                } else {
                    p.addLine(QString::fromUtf8(label), QLatin1String(field));
                    if (auto *e = qobject_cast<QLineEdit *>(p.editorOf(QLatin1String(field))))
                        e->setReadOnly(true);
                }
            }
        },
        2, parent);
    return list;
}

} // namespace

QColor AssetHistoryWindow::stateColour(int state)
{
    if (state < 2)
        return UiLook::Cream;
    if (state == 2)
        return GradientActiveCaption;
    if (state == 3)
        return MoneyGreen;
    return GradientInactiveCaption;
}

AssetHistoryWindow::AssetHistoryWindow(Connection *conn, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("物品变动查询"));
    setObjectName(QStringLiteral("TAssetArchivesForm"));
    setFont(UiLook::font(15));
    auto q = [conn](const char *id) { return conn->quote(QLatin1String(id)); };

    m_types = new Dataset(conn, this);
    m_types->setSql(QStringLiteral("select %1,%2,%3,%4 from %5 order by %2").arg(q("Id"), q("Code"), q("Name"), q("Parent_Id"), q("AssetType")));
    m_types->setReadOnly(true);
    Reference::addNodeLabel(*m_types, 60, true);
    openOrTell(m_types, this);

    m_items = new Dataset(conn, this);
    m_items->setTable(QStringLiteral("Asset"));
    m_items->setReadOnly(true);
    openOrTell(m_items, this);

    // The bills about the current item, read again whenever it changes.
    auto detail = [&](const QString &sql) {
        auto *ds = new Dataset(conn, this);
        ds->setSql(sql);
        ds->setReadOnly(true);
        ds->setMasterByParams(m_items);
        openOrTell(ds, this);
        return ds;
    };
    m_add = detail(QStringLiteral("select * from %1 where %2 = :Add_Id").arg(q("Asset_Add"), q("Id")));
    m_moves = detail(QStringLiteral("select A.%1, A.%2, A.%3, A.%4, A.%5, A.%6, A.%7, A.%8, A.%9, ")
                         .arg(q("Id"), q("Code"), q("MoveDate"), q("FromDept"), q("FromMgr"), q("ToDept"), q("ToMgr"), q("Controller"), q("BuildDate"))
                     + QStringLiteral("A.%1, A.%2, B.%3, B.%4, B.%5 from %6 A inner join %7 B on A.%8 = B.%9 ")
                           .arg(q("Manager"), q("Summary"), q("keeper"), q("Place"), q("TechnicalState"), q("Asset_Move"), q("Asset_Move_Item"), q("Id"),
                                q("MoveId"))
                     + QStringLiteral("where B.%1 = :Id order by A.%2, A.%3").arg(q("AssetId"), q("BuildDate"), q("Id")));
    m_loans = detail(QStringLiteral("select * from %1 where %2 = :Id order by %3").arg(q("Asset_Loan"), q("AssetId"), q("Id")));
    m_repairs = detail(QStringLiteral("select * from %1 where %2 = :Id order by %3").arg(q("Asset_Service"), q("AssetId"), q("Id")));
    m_discard = detail(QStringLiteral("select * from %1 where %2 = :Id order by %3").arg(q("Asset_Discard"), q("AssetId"), q("Id")));

    // Left: the category tree over the item list.
    auto *outer = new QSplitter(Qt::Horizontal, this);
    auto *left = new QSplitter(Qt::Vertical, outer);
    m_tree = new DatasetTreeView(m_types, left);
    m_tree->setObjectName(QStringLiteral("AssettypedxDBTreeView"));
    m_tree->treeModel()->setHint(&Reference::fullNodeLabel);
    UiLook::applyDataAreaLook(m_tree);
    m_grid = new DataGrid(m_items, left);
    m_grid->setObjectName(QStringLiteral("AssetDBGridEh"));
    m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("物品编号"), 126);
    m_grid->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 188);
    m_grid->addColumn(QStringLiteral("Model"), QStringLiteral("资产型号"), 100);
    m_grid->addColumn(QStringLiteral("Makeof"), QStringLiteral("详细配置"), 160);
    m_grid->setFrozenColumns(2);
    m_grid->setRowColor([](const Dataset &ds, int row) { return stateColour(int(ds.storageValue(row, QStringLiteral("State")).toInt())); });
    UiLook::applyDataAreaLook(m_grid);
    left->addWidget(m_tree);
    left->addWidget(m_grid);
    left->setSizes({271, 500});

    // Right: the card, the five pages, the legend.
    auto *right = new QSplitter(Qt::Vertical, outer);
    auto *top = new QWidget(right);
    auto *topLay = new QVBoxLayout(top);
    topLay->setContentsMargins(0, 0, 0, 0);
    topLay->addWidget(readOnlyCard(m_items,
                           {{{"物品编号", "Code", 1}, {"物品名称", "Name", 2}},
                            {{"物品型号", "Model", 1}, {"计量单位", "Unit", 1}, {"物品原值", "Price", 1}},
                            {{"生产厂商", "Manufacturer", 1}, {"生产日期", "ManufactureDate", 1}, {"增加方式", "AppType", 1}},
                            {{"供应厂商", "Firm", 1}, {"采购日期", "BuyDate", 1}, {"经办人员", "Transactor", 1}},
                            {{"存放位置", "Place", 1}, {"建档日期", "BuildDate", 1}, {"保管人员", "keeper", 1}},
                            {{"使用部门", "Department", 2}, {"使用人员", "User", 1}},
                            {{"技术状态", "TechnicalState", 3}}},
                           top));
    topLay->addWidget(readOnlyMemo(m_items, QStringLiteral("详细配置"), QStringLiteral("Makeof"), top));

    m_pages = new QTabWidget(right);
    m_pages->setObjectName(QStringLiteral("PageControl"));
    m_pages->addTab(readOnlyCard(m_add, {{{"单据编号", "Code", 1}, {"采购日期", "BuyDate", 1}},
                                 {{"供应厂商", "Firm", 3}},
                                 {{"增加方式", "AppType", 1}, {"增加数量", "AddNumber", 1}, {"经办人员", "Transactor", 1}},
                                 {{"验收人员", "Checker", 1}, {"制单人员", "Controller", 1}, {"制单日期", "BuildDate", 1}}},
                         m_pages),
                    QStringLiteral("物品增加单"));
    m_movePanels = panels(m_moves, {{"单据编号", "Code"}, {"调拨日期", "MoveDate"}, {"调出部门", "FromDept"}, {"调出部门经手人", "FromMgr"},
                                    {"调入部门", "ToDept"}, {"调入部门经手人", "ToMgr"}, {"存放位置", "Place"}, {"保管人员", "keeper"},
                                    {"技术状态", "TechnicalState"}, {"批准人员", "Manager"}, {"制单人员", "Controller"}, {"制单日期", "BuildDate"}},
                          m_pages);
    m_pages->addTab(m_movePanels, QStringLiteral("物品调拨单"));
    m_loanPanels = panels(m_loans, {{"单  据  编  号", "Code"}, {"借出日期", "LoanDate"}, {"借  用  部  门", "LoanDept"}, {"借用人员", "Loaner"},
                                    {"预计 归还 日期", "IntendBackDate"}, {"借出人员", "Loankeeper"}, {"借出时技术状态", "LoanTechState"},
                                    {"实际 归还 日期", "BackDate"}, {"归还人员", "Backer"}, {"接收人员", "BackKeeper"},
                                    {"归还时技术状态", "BackTechState"}},
                          m_pages);
    m_pages->addTab(m_loanPanels, QStringLiteral("物品借出/归还单"));
    m_repairPanels = panels(m_repairs, {{"单 据  编 号", "Code"}, {"维 修  日 期", "ServiceDate"}, {"维 修  单 位", "ServiceDept"},
                                        {"送 修  人 员", "Deliver"}, {"维 修  原 因", "Cause"}, {"预计完成日期", "IntendBackDate"},
                                        {"实际完成日期", "BackDate"}, {"维 修  费 用", "Fee"}, {"接 收  人 员", "BackKeeper"}},
                            m_pages);
    m_pages->addTab(m_repairPanels, QStringLiteral("物品维护单"));
    auto *discardPage = new QWidget(m_pages);
    auto *discardLay = new QVBoxLayout(discardPage);
    discardLay->addWidget(readOnlyCard(m_discard, {{{"单据编号", "Code", 1}, {"销账日期", "DecDate", 1}},
                                           {{"销账方式", "DecType", 1}, {"批准人员", "Manager", 1}},
                                           {{"经办人员", "Transactor", 1}, {"制单人员", "Controller", 1}, {"制单日期", "BuildDate", 1}}},
                               discardPage));
    discardLay->addWidget(readOnlyMemo(m_discard, QStringLiteral("销账原因"), QStringLiteral("Cause"), discardPage), 1);
    m_pages->addTab(discardPage, QStringLiteral("物品销账单"));

    auto *legend = new QWidget(right);
    auto *legendLay = new QHBoxLayout(legend);
    legendLay->setContentsMargins(6, 2, 6, 2);
    legendLay->addWidget(new QLabel(QStringLiteral("资产状态："), legend));
    const std::pair<const char *, int> states[] = {{"正常使用", 0}, {"借出未归还", 2}, {"维修未完成", 3}, {"已经销账", 4}};
    for (const auto &[text, state] : states) {
        auto *l = new QLabel(QString::fromUtf8(text), legend);
        l->setFrameShape(QFrame::Box);
        l->setAlignment(Qt::AlignCenter);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, stateColour(state));
        l->setPalette(p);
        legendLay->addWidget(l);
    }
    legendLay->addStretch(1);
    legend->setFixedHeight(30);

    right->addWidget(top);
    right->addWidget(m_pages);
    right->addWidget(legend);
    outer->addWidget(left);
    outer->addWidget(right);
    outer->setSizes({275, 800});
    outer->setStretchFactor(1, 1);

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(outer);

    connect(m_tree, &DatasetTreeView::nodeSelected, this, [this](const QString &key) { chooseCategory(key); });
}

void AssetHistoryWindow::chooseCategory(const QString &id)
{
    const QString t = id.trimmed();
    m_items->filterTo(Filter::startsWith(QStringLiteral("Type"), t));
}
