#include "bills/billframe.h"
#include "bills/billsave.h"

#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/helpers.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/save.h"
#include "data/settings.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportpreview.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QString g_organisationName;

QString msg(const char *text) { return QString::fromUtf8(text); }

// The Windows colours the legend and the rows were designed in.
const QColor GradientActiveCaption(185, 209, 234);
const QColor MoneyGreen(192, 220, 192);
const QColor MenuHighlight(51, 153, 255);
} // namespace

void BillFrame::setOrganisationName(const QString &name) { g_organisationName = name; }
QString BillFrame::organisationName()
{
    return g_organisationName.isEmpty() ? Settings::current().organisationName() : g_organisationName;
}

QDate BillFrame::monthBefore(const QDate &today)
{
    // QDate moves to the month's last day when the day does not exist there.
    return today.addMonths(-1);
}

QColor BillFrame::stateColour(int state, bool fourState)
{
    if (!fourState)
        return state == 0 ? GradientActiveCaption : UiLook::Cream;
    switch (state) {
    case 0: return GradientActiveCaption;
    case 1: return MoneyGreen;
    case 2: return MenuHighlight;
    case 3: return UiLook::Cream;
    default: return QColor();
    }
}

BillFrame::BillFrame(Connection *conn, const BillFrameSetup &setup, QWidget *parent)
    : QWidget(parent), m_conn(conn), m_setup(setup)
{
    setFont(UiLook::font(15));
    m_list = new Dataset(conn, this);
    m_list->setSql(withKeptBill(setup.listSql, setup.keyColumn));
    m_list->setParam(QStringLiteral("keepId"), -1);
    m_list->setUpdateTable(setup.table);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *top = new QWidget(this);
    top->setObjectName(QStringLiteral("TopBar"));
    top->setAutoFillBackground(true);
    QPalette p = top->palette();
    p.setColor(QPalette::Window, QColor(236, 236, 228));
    top->setPalette(p);
    auto *bar = new QHBoxLayout(top);
    bar->setContentsMargins(10, 3, 6, 3);
    bar->addWidget(UiLook::titleLabel(setup.heading, top));
    bar->addSpacing(16);
    m_minDate = new DateEdit(top);
    m_minDate->setObjectName(QStringLiteral("minDateEdit"));
    m_minDate->setFixedWidth(137);
    UiLook::applyEditorLook(m_minDate);
    m_maxDate = new DateEdit(top);
    m_maxDate->setObjectName(QStringLiteral("MaxDateEdit"));
    m_maxDate->setFixedWidth(137);
    UiLook::applyEditorLook(m_maxDate);
    bar->addWidget(m_minDate);
    bar->addWidget(new QLabel(QStringLiteral("至"), top));
    bar->addWidget(m_maxDate);
    auto button = [&](const QString &hint, const QString &name) {
        QToolButton *b = UiLook::iconButton(hint, UiLook::buttonIcon(hint), top);
        b->setObjectName(name);
        return b;
    };
    m_refresh = button(QStringLiteral("刷新"), QStringLiteral("RefreshBtn"));
    bar->addWidget(m_refresh);
    bar->addStretch(1);
    if (setup.appends) {
        m_append = button(QStringLiteral("增加"), QStringLiteral("AppendBtn"));
        m_delete = button(QStringLiteral("删除"), QStringLiteral("DelBtn"));
        bar->addWidget(m_append);
        bar->addWidget(m_delete);
    }
    m_save = button(QStringLiteral("保存"), QStringLiteral("SaveBtn"));
    bar->addWidget(m_save);
    if (setup.appends) {
        m_print = button(QStringLiteral("打印"), QStringLiteral("PrintBtn"));
        bar->addWidget(m_print);
    }
    m_tally = button(QStringLiteral("登帐"), QStringLiteral("TallyBtn"));
    bar->addWidget(m_tally);
    bar->addSpacing(16);
    m_close = button(QStringLiteral("退出"), QStringLiteral("CloseBtn"));
    bar->addWidget(m_close);
    outer->addWidget(top);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    m_grid = new DataGrid(m_list, split);
    m_grid->setObjectName(QStringLiteral("BillDBGridEh"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    UiLook::applyDataAreaLook(m_grid);
    const bool four = setup.fourState;
    m_grid->setRowColor([four](const Dataset &ds, int storageRow) {
        const QVariant s = ds.storageValue(storageRow, QStringLiteral("State"));
        return stateColour(s.isNull() ? 0 : s.toInt(), four);
    });
    split->addWidget(m_grid);

    auto *right = new QWidget(split);
    auto *rl = new QVBoxLayout(right);
    rl->setContentsMargins(0, 0, 0, 0);
    rl->setSpacing(0);
    m_panel = new QWidget(right);
    UiLook::applyDataAreaLook(m_panel);
    m_panelLayout = new QVBoxLayout(m_panel);
    m_panelLayout->setContentsMargins(8, 6, 8, 6);
    rl->addWidget(m_panel, 1);
    auto *legend = new QWidget(right);
    legend->setFixedHeight(25);
    auto *ll = new QHBoxLayout(legend);
    ll->setContentsMargins(8, 2, 8, 2);
    for (int i = 0; i < setup.legend.size(); ++i) {
        auto *l = new QLabel(setup.legend[i], legend);
        l->setFrameShape(QFrame::Box);
        l->setAlignment(Qt::AlignCenter);
        l->setAutoFillBackground(true);
        QPalette lp = l->palette();
        lp.setColor(QPalette::Window, stateColour(four ? i : (i == 0 ? 0 : 1), four));
        l->setPalette(lp);
        l->setMinimumWidth(110);
        ll->addWidget(l);
        m_legend << l;
    }
    ll->addStretch(1);
    rl->addWidget(legend);
    split->addWidget(right);
    split->setSizes({360, 900});
    split->setStretchFactor(1, 1);
    outer->addWidget(split, 1);

    connect(m_refresh, &QToolButton::clicked, this, [this] { refresh(); });
    // Enter in either date editor runs Refresh.
    connect(m_minDate, &QLineEdit::returnPressed, this, [this] { refresh(); });
    connect(m_maxDate, &QLineEdit::returnPressed, this, [this] { refresh(); });
    if (m_append) {
        connect(m_append, &QToolButton::clicked, this, &BillFrame::append);
        connect(m_delete, &QToolButton::clicked, this, &BillFrame::removeCurrent);
        connect(m_print, &QToolButton::clicked, this, &BillFrame::print);
    }
    connect(m_save, &QToolButton::clicked, this, [this] { save(); });
    connect(m_tally, &QToolButton::clicked, this, &BillFrame::tally);
    connect(m_close, &QToolButton::clicked, this, [this] { TreeWindow::closeWindow(window() == this ? this : parentWidget()); });
    connect(m_list, &Dataset::currentRowChanged, this, &BillFrame::changeControlState);
    connect(m_list, &Dataset::layoutReset, this, &BillFrame::changeControlState);
    connect(m_list, &Dataset::rowsInserted, this, &BillFrame::changeControlState);
    connect(m_list, &Dataset::rowsRemoved, this, &BillFrame::changeControlState);
    connect(m_list, &Dataset::valueChanged, this, [this](int, int field) {
        if (field == m_list->fieldIndex(QStringLiteral("State")))
            changeControlState();
        else
            holdCurrent();
    });
}

BillFrame::~BillFrame() = default;

// The list statement also keeps the bill just tallied, so that it stays in
// view with its new colour even when its date lies outside the date window;
// the next Refresh applies the window alone.
QString BillFrame::withKeptBill(const QString &sql, const QString &keyColumn)
{
    const int where = sql.indexOf(QStringLiteral(" where "), 0, Qt::CaseInsensitive);
    const int order = sql.lastIndexOf(QStringLiteral(" order by "), -1, Qt::CaseInsensitive);
    if (where < 0 || order < where)
        return sql;
    return sql.left(where) + QStringLiteral(" where (") + sql.mid(where + 7, order - where - 7) + QStringLiteral(") or ") + keyColumn +
           QStringLiteral("=:keepId") + sql.mid(order);
}

void BillFrame::openList(const QDate &from, const QDate &to)
{
    m_list->close();
    m_list->setParam(QStringLiteral("keepId"), -1);
    m_list->setParam(QStringLiteral("minDate"), QDateTime(from, QTime(0, 0)));
    m_list->setParam(QStringLiteral("maxDate"), QDateTime(to, QTime(0, 0)));
    m_list->open();
    for (Dataset *d : m_details)
        d->requery();
    m_held.clear();
    changeControlState();
}

void BillFrame::addDetail(Dataset *ds)
{
    m_details.push_back(ds);
    // A line edited in its editors changes the bill it belongs to.
    connect(ds, &Dataset::valueChanged, this, [this] { holdCurrent(); });
}

void BillFrame::holdCurrent()
{
    if (!m_list->isOpen() || m_list->currentRow() < 0 || m_list->rowState(m_list->currentRow()) == Dataset::RowState::Inserted)
        return;
    const qint64 id = m_list->asInt(QStringLiteral("Id"));
    if (!m_held.contains(id))
        m_held.insert(id, int(m_list->asInt(QStringLiteral("State"))));
}

void BillFrame::showFirstTime(const QDate &today)
{
    if (m_shown)
        return;
    m_shown = true;
    const QDate from = monthBefore(today);
    m_minDate->setDate(from);
    m_maxDate->setDate(today);
    try {
        openList(from, today);
        if (fillLists)
            fillLists();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
    changeControlState();
}

bool BillFrame::hasPendingChanges()
{
    m_grid->commitEdit();
    bool pending = m_list->isOpen() && HasPendingUpdates(*m_list);
    for (Dataset *d : m_details)
        pending = (d->isOpen() && HasPendingUpdates(*d)) || pending;
    return pending;
}

bool BillFrame::refresh()
{
    QDate from, to;
    if (!DateEdit::readWindow(m_minDate, m_maxDate, this, from, to))
        return false;
    // A failed save keeps the list as it is, so nothing typed is lost.
    if (!TreeWindow::askToSave(this, hasPendingChanges(), [this] { return save(); }, [] {}))
        return false;
    try {
        openList(from, to);
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
        return false;
    }
    return true;
}

void BillFrame::append()
{
    if (!m_setup.appends || !m_list->isOpen())
        return;
    const QDate day = today();
    try {
        const QString code = NextBillCode(*m_list, day);
        m_list->append();
        m_list->setValue(QStringLiteral("Code"), code);
        m_list->setValue(QStringLiteral("State"), 0);
        if (onAppend)
            onAppend(*m_list, day);
        m_list->post();
    } catch (const DataError &e) {
        m_list->cancel();
        Prompter::instance().information(e.message(), QString(), this);
    }
    changeControlState();
}

void BillFrame::removeCurrent()
{
    if (!m_setup.appends || !m_list->isOpen() || m_list->isEmpty())
        return;
    if (!currentEditable()) {
        Prompter::instance().information(QStringLiteral("单据已登帐，不可删除！"), QString(), this);
        return;
    }
    holdCurrent();
    if (onDelete)
        onDelete(*m_list);
    m_list->remove();
    changeControlState();
}

bool BillFrame::writeAll()
{
    m_grid->commitEdit();
    if (QWidget *f = focusWidget())
        f->clearFocus(); // an editor writes what was typed when it loses focus
    // A new bill whose code another user saved meanwhile takes the next free one.
    // A bill another user tallied or deleted meanwhile is refused as a whole.
    saveBills(*m_conn, *m_list, m_details.empty() ? nullptr : m_details.front(), m_held);
    m_held.clear();
    return true;
}

bool BillFrame::save()
{
    if (!m_list->isOpen())
        return true;
    try {
        writeAll();
    } catch (const DataError &) {
        Prompter::instance().information(msg(TallyMessages::SaveFailed), QString(), this);
        return false;
    }
    changeControlState();
    return true;
}

bool BillFrame::currentEditable() const
{
    if (!m_list->isOpen() || m_list->isEmpty() || m_list->currentRow() < 0)
        return false;
    const int state = m_list->isNull(QStringLiteral("State")) ? 0 : int(m_list->asInt(QStringLiteral("State")));
    return m_setup.editableStates.contains(state);
}

void BillFrame::tally()
{
    // The bill is saved first; a tally whose save failed goes no further.
    if (!save())
        return;
    if (!m_list->isOpen() || m_list->isEmpty())
        return;
    if (!currentEditable()) {
        Prompter::instance().information(msg(TallyMessages::AlreadyTallied), QString(), this);
        return;
    }
    const qint64 id = m_list->asInt(QStringLiteral("Id"));
    const TallyOutcome out = tallyBill(*m_conn, m_setup.kind, id, today());
    if (!out.ok)
        Prompter::instance().information(out.message, QString(), this);
    // The row shows what the register now holds (tallied, or changed by another user).
    try {
        m_list->setParam(QStringLiteral("keepId"), id);
        m_list->requery();
        for (Dataset *d : m_details)
            d->requery();
        if (m_list->locate(QStringLiteral("Id"), id))
            m_grid->selectRow(m_list->currentRow());
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
    changeControlState();
    if (out.ok)
        emit tallied(id);
}

void BillFrame::print()
{
    if (!m_setup.appends || !m_list->isOpen() || m_list->isEmpty() || !currentEditable() || !printData)
        return;
    m_grid->commitEdit();
    m_list->post();
    ReportVariables vars;
    vars.values.insert(QStringLiteral("dwmc"), organisationName());
    // The current bill as it is shown, saved or not; the list is not moved.
    std::unique_ptr<ReportData> data = printData(vars);
    const Dataset::Bookmark keep = m_list->bookmark();
    previewReport(templateName, *data, vars, this);
    m_list->gotoBookmark(keep);
}

void BillFrame::changeControlState()
{
    if (m_list->controlsDisabled())
        return;
    const bool editable = currentEditable();
    for (QWidget *w : m_editors)
        w->setEnabled(editable);
    for (QToolButton *b : {m_delete, m_print})
        if (b)
            b->setVisible(editable);
    m_tally->setVisible(editable);
    for (QToolButton *b : m_stateButtons)
        b->setVisible(editable);
    if (onStateChanged)
        onStateChanged(editable);
}

bool BillFrame::queryClose()
{
    return TreeWindow::askToSave(this, hasPendingChanges(), [this] { return save(); }, [this] {
        for (Dataset *d : m_details)
            d->cancelUpdates();
        m_list->cancelUpdates();
        m_held.clear();
    });
}

namespace BillWindows {
void closeQuery(BillFrame *frame, QCloseEvent *e)
{
    if (frame->queryClose())
        e->accept();
    else
        e->ignore();
}
} // namespace BillWindows
