#include "reference/assetledgerwindow.h"

#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/helpers.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/filter.h"
#include "reference/refshared.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

AssetLedgerWindow::AssetLedgerWindow(Connection *conn, Mode mode, QWidget *parent)
    : QWidget(parent), m_conn(conn), m_mode(Mode::Initialisation)
{
    setFont(UiLook::font(15));
    m_types = new Dataset(conn, this);
    m_types->setSql(Reference::selectAll(*conn, QStringLiteral("AssetType"), conn->quote(QStringLiteral("Code"))));
    m_types->setReadOnly(true);
    Reference::addNodeLabel(*m_types, 40, true);
    m_types->open();

    m_items = new Dataset(conn, this);
    m_items->setTable(QStringLiteral("Asset"));
    m_items->addLookupField(QStringLiteral("typeName"), QStringLiteral("Type"), m_types, QStringLiteral("Id"), QStringLiteral("Text"));
    m_items->open();
    m_items->setSort(QStringLiteral("Type"));

    m_frame = new TreeWindowFrame(QStringLiteral("物品台帐初始化"), this);
    m_append = m_frame->addButton(QStringLiteral("增加"), QStringLiteral("AppendBtn"));
    m_delete = m_frame->addButton(QStringLiteral("删除"), QStringLiteral("DelBtn"));
    m_save = m_frame->addButton(QStringLiteral("保存"), QStringLiteral("SaveBtn"));
    m_printCards = m_frame->addButton(QStringLiteral("打印资产卡片"), QStringLiteral("PrintBtn"));
    m_printLabels = m_frame->addButton(QStringLiteral("打印资产标签"), QStringLiteral("prt2btn"));

    m_tree = new DatasetTreeView(m_types, m_frame);
    m_tree->setObjectName(QStringLiteral("AssettypedxDBTreeView"));
    m_tree->treeModel()->setHint(&Reference::fullNodeLabel);

    auto *right = new QSplitter(Qt::Vertical, m_frame);
    m_grid = new DataGrid(m_items, right);
    m_grid->setObjectName(QStringLiteral("AssetDBGridEh"));
    m_grid->addColumn(QStringLiteral("typeName"), QStringLiteral("物品分类"), 123);
    m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("物品\n编号"), 111);
    m_grid->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 153);
    m_grid->addColumn(QStringLiteral("Model"), QStringLiteral("规格型号"), 128);
    m_grid->addColumn(QStringLiteral("Manufacturer"), QStringLiteral("生产厂家"), 161);
    m_grid->addColumn(QStringLiteral("ManufactureCode"), QStringLiteral("出厂编号"), 115);
    right->addWidget(m_grid);
    right->addWidget(buildCard());
    right->setSizes({260, 420});
    m_frame->setPanes(m_tree, right, 280);

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_frame);

    connect(m_append, &QToolButton::clicked, this, &AssetLedgerWindow::append);
    connect(m_delete, &QToolButton::clicked, this, &AssetLedgerWindow::removeCurrent);
    connect(m_save, &QToolButton::clicked, this, [this] { save(); });
    connect(m_printCards, &QToolButton::clicked, this, [this] { runPrint(printCards); });
    connect(m_printLabels, &QToolButton::clicked, this, [this] { runPrint(printLabels); });
    connect(m_tree, &DatasetTreeView::nodeSelected, this, &AssetLedgerWindow::filterByCategory);
    connect(m_items, &Dataset::currentRowChanged, this, &AssetLedgerWindow::afterScroll);
    connect(m_items, &Dataset::layoutReset, this, &AssetLedgerWindow::afterScroll);

    // A large ledger shows its first rows at once; the note says the rest is on its way.
    const auto readingNote = [this] { m_frame->setNote(m_items->isLoading() ? QStringLiteral("正在读取其余物品……") : QString()); };
    readingNote();
    connect(m_items, &Dataset::loaded, m_frame, readingNote);
    connect(m_items, &Dataset::opened, m_frame, readingNote);

    setWindowTitle(QStringLiteral("物品台帐初始化"));
    if (mode == Mode::Management)
        setManagementMode();
    afterScroll();
}

AssetLedgerWindow::~AssetLedgerWindow() = default;

void AssetLedgerWindow::setManagementMode()
{
    m_mode = Mode::Management;
    m_append->hide();
    m_delete->hide();
    setWindowTitle(QStringLiteral("物品台帐管理"));
    m_frame->setTitle(QStringLiteral("物品台帐管理"));
}

QString AssetLedgerWindow::title() const { return m_frame->title(); }

QWidget *AssetLedgerWindow::buildCard()
{
    auto *card = new QWidget;
    UiLook::applyDataAreaLook(card);
    auto *outer = new QVBoxLayout(card);
    outer->setContentsMargins(8, 6, 8, 6);
    auto *g = new QGridLayout;
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(5);
    for (int c : {1, 3, 5})
        g->setColumnStretch(c, 1);
    auto add = [&](QWidget *editor, const QString &field, const QString &label, int row, int col, int span = 1) {
        g->addWidget(formLabel(label, card), row, col * 2);
        g->addWidget(editor, row, col * 2 + 1, 1, span * 2 - 1);
        m_editors.push_back({field, editor});
    };
    auto line = [&](const QString &f) { return new BoundLineEdit(m_items, f, card); };
    auto date = [&](const QString &f) { return new BoundDateEdit(m_items, f, card); };
    auto list = [&](const QString &f, const QString &table, const QString &order = QString()) {
        auto *c = new BoundComboBox(m_items, f, false, card);
        QString sql = QStringLiteral("select %1 from %2").arg(m_conn->quote(QStringLiteral("Name")), m_conn->quote(table));
        if (!order.isEmpty())
            sql += QStringLiteral(" order by ") + m_conn->quote(order);
        m_lists.push_back({c, sql});
        return c;
    };
    add(line(QStringLiteral("Code")), QStringLiteral("Code"), QStringLiteral("物品编号"), 0, 0);
    add(line(QStringLiteral("Name")), QStringLiteral("Name"), QStringLiteral("物品名称"), 0, 1, 2);
    add(line(QStringLiteral("Model")), QStringLiteral("Model"), QStringLiteral("规格型号"), 1, 0);
    add(list(QStringLiteral("Unit"), QStringLiteral("Units")), QStringLiteral("Unit"), QStringLiteral("计量单位"), 1, 1);
    add(line(QStringLiteral("Price")), QStringLiteral("Price"), QStringLiteral("物品原值"), 1, 2);
    add(list(QStringLiteral("Manufacturer"), QStringLiteral("Factory")), QStringLiteral("Manufacturer"), QStringLiteral("生产厂商"), 2, 0);
    add(date(QStringLiteral("ManufactureDate")), QStringLiteral("ManufactureDate"), QStringLiteral("生产日期"), 2, 1);
    add(line(QStringLiteral("ManufactureCode")), QStringLiteral("ManufactureCode"), QStringLiteral("出厂编号"), 2, 2);
    add(list(QStringLiteral("Firm"), QStringLiteral("Firm")), QStringLiteral("Firm"), QStringLiteral("供应厂商"), 3, 0);
    add(date(QStringLiteral("BuyDate")), QStringLiteral("BuyDate"), QStringLiteral("采购日期"), 3, 1);
    add(list(QStringLiteral("Transactor"), QStringLiteral("Staffer"), QStringLiteral("Name")), QStringLiteral("Transactor"),
        QStringLiteral("经办人员"), 3, 2);
    add(list(QStringLiteral("Place"), QStringLiteral("Positions")), QStringLiteral("Place"), QStringLiteral("存放位置"), 4, 0);
    add(date(QStringLiteral("BuildDate")), QStringLiteral("BuildDate"), QStringLiteral("建档日期"), 4, 1);
    add(list(QStringLiteral("keeper"), QStringLiteral("Staffer"), QStringLiteral("Name")), QStringLiteral("keeper"),
        QStringLiteral("保管人员"), 4, 2);
    add(list(QStringLiteral("Department"), QStringLiteral("Department"), QStringLiteral("Id")), QStringLiteral("Department"),
        QStringLiteral("使用部门"), 5, 0);
    add(list(QStringLiteral("User"), QStringLiteral("Staffer"), QStringLiteral("Name")), QStringLiteral("User"),
        QStringLiteral("使用人员"), 5, 1);
    add(list(QStringLiteral("AppType"), QStringLiteral("AddMode")), QStringLiteral("AppType"), QStringLiteral("增加方式"), 5, 2);
    outer->addLayout(g);

    auto *makeof = new QGroupBox(QStringLiteral("详细配置"), card);
    auto *ml = new QVBoxLayout(makeof);
    auto *makeofEdit = new BoundMemo(m_items, QStringLiteral("Makeof"), makeof);
    makeofEdit->setMinimumHeight(48);
    ml->addWidget(makeofEdit);
    m_editors.push_back({QStringLiteral("Makeof"), makeofEdit});
    outer->addWidget(makeof, 1);
    auto *tech = new QGroupBox(QStringLiteral("技术状态"), card);
    auto *tl = new QVBoxLayout(tech);
    auto *techEdit = new BoundLineEdit(m_items, QStringLiteral("TechnicalState"), tech);
    tl->addWidget(techEdit);
    m_editors.push_back({QStringLiteral("TechnicalState"), techEdit});
    outer->addWidget(tech);
    auto *summary = new QGroupBox(QStringLiteral("备注"), card);
    auto *sl = new QVBoxLayout(summary);
    auto *summaryEdit = new BoundMemo(m_items, QStringLiteral("Summary"), summary);
    summaryEdit->setMinimumHeight(40);
    sl->addWidget(summaryEdit);
    m_editors.push_back({QStringLiteral("Summary"), summaryEdit});
    outer->addWidget(summary, 2);
    return card;
}

QWidget *AssetLedgerWindow::editorOf(const QString &field) const
{
    for (const auto &[f, w] : m_editors)
        if (f.compare(field, Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

bool AssetLedgerWindow::cardEnabled() const
{
    return !m_editors.empty() && m_editors.front().second->isEnabled();
}

void AssetLedgerWindow::fillChoiceLists()
{
    for (auto &[combo, sql] : m_lists) {
        try {
            combo->setChoices(Reference::readNames(*m_conn, sql));
        } catch (const DataError &e) {
            Prompter::instance().information(e.message(), QString(), this);
            return;
        }
    }
}

void AssetLedgerWindow::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        fillChoiceLists();
        m_tree->expandAll();
    }
}

void AssetLedgerWindow::filterByCategory(const QString &id)
{
    try {
        m_items->filterTo(Filter::startsWith(QStringLiteral("Type"), id.trimmed()));
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
    afterScroll();
}

void AssetLedgerWindow::afterScroll()
{
    if (m_items->controlsDisabled())
        return;
    const bool any = !m_items->isEmpty();
    for (const auto &[f, w] : m_editors)
        w->setEnabled(any);
}

void AssetLedgerWindow::append()
{
    if (m_types->isEmpty()) {
        Prompter::instance().information(QStringLiteral("没有指定类别，不能添加物品！"), QString(), this);
        return;
    }
    const QString type = m_types->asString(QStringLiteral("Id"));
    if (HasChildren(*m_types, type)) {
        Prompter::instance().information(QStringLiteral("必须指定到末级类别，才能添加物品！"), QString(), this);
        return;
    }
    const QDateTime today(QDate::currentDate(), QTime(0, 0));
    try {
        m_items->append();
        m_items->setValue(QStringLiteral("Type"), type);
        m_items->setValue(QStringLiteral("Code"), m_types->value(QStringLiteral("Code")));
        m_items->setValue(QStringLiteral("Name"), m_types->value(QStringLiteral("Name")));
        m_items->setValue(QStringLiteral("BuildDate"), today);
        m_items->setValue(QStringLiteral("BuyDate"), today);
        m_items->setValue(QStringLiteral("State"), 1);
    } catch (const DataError &e) {
        m_items->cancel();
        Prompter::instance().information(e.message(), QString(), this);
        return;
    }
    for (const auto &[f, w] : m_editors)
        w->setEnabled(true);
}

void AssetLedgerWindow::removeCurrent()
{
    if (m_items->isEmpty())
        return;
    m_items->remove();
}

bool AssetLedgerWindow::save()
{
    // Items of other categories are written too; the list comes back as it was.
    DatasetStateGuard keep(*m_items);
    m_items->setFiltered(false);
    return TreeWindow::save(*m_conn, {m_items}, QStringLiteral("保存失败！"), this);
}

void AssetLedgerWindow::runPrint(const std::function<void(AssetLedgerWindow &)> &hook)
{
    if (!hook) {
        Prompter::instance().information(QStringLiteral("打印功能尚未安装！"), QString(), this);
        return;
    }
    const Dataset::Bookmark keep = m_items->bookmark();
    m_items->disableControls();
    try {
        hook(*this);
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
    m_items->gotoBookmark(keep);
    m_items->enableControls();
}

bool AssetLedgerWindow::queryClose()
{
    return TreeWindow::askToSave(this, HasPendingUpdates(*m_items), [this] { return save(); }, [this] { m_items->cancelUpdates(); });
}

void AssetLedgerWindow::closeEvent(QCloseEvent *e)
{
    if (queryClose())
        e->accept();
    else
        e->ignore();
}
