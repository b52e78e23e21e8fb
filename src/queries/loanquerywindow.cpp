#include "queries/loanquerywindow.h"

#include "bills/billframe.h"
#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "queries/loanqueries.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportpreview.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QDate s_today;

QDate todayNow()
{
    return s_today.isValid() ? s_today : QDate::currentDate();
}

struct Box {
    const char *label;
    const char *field;
    bool date;
    bool fullRow;
};

} // namespace

void BillStateQueryWindow::setTodayForTests(const QDate &d)
{
    s_today = d;
}

BillStateQueryWindow::BillStateQueryWindow(Kind kind, Connection *conn, QWidget *parent)
    : QWidget(parent), m_kind(kind), m_conn(conn)
{
    const bool loans = kind == Kind::Loans;
    setWindowTitle(loans ? QStringLiteral("物品借出查询") : QStringLiteral("物品维修单查询"));
    setObjectName(loans ? QStringLiteral("TAssetLoanQueryForm") : QStringLiteral("TAssetServiceQueryForm"));
    setFont(UiLook::font(15));

    auto *bar = new QWidget(this);
    auto *barLay = new QHBoxLayout(bar);
    barLay->setContentsMargins(10, 4, 6, 4);
    barLay->addWidget(UiLook::titleLabel(loans ? QStringLiteral("物品借出单查询") : QStringLiteral("物品维修单查询"), bar));
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
    m_state = new QComboBox(bar);
    m_state->setObjectName(QStringLiteral("StateComboBox"));
    m_state->setEditable(false);
    m_state->addItems(loans ? LoanQueries::loanStateChoices() : LoanQueries::repairStateChoices());
    barLay->addWidget(m_state);
    QToolButton *refreshBtn = UiLook::iconButton(QStringLiteral("刷新"), QIcon(), bar);
    refreshBtn->setObjectName(QStringLiteral("RefreshBtn"));
    barLay->addWidget(refreshBtn);
    barLay->addStretch(1);
    QToolButton *printBtn = UiLook::iconButton(QStringLiteral("打印"), QIcon(), bar);
    printBtn->setObjectName(QStringLiteral("PrintBtn"));
    QToolButton *closeBtn = UiLook::iconButton(QStringLiteral("退出"), QIcon(), bar);
    closeBtn->setObjectName(QStringLiteral("CloseBtn"));
    barLay->addWidget(printBtn);
    barLay->addWidget(closeBtn);

    m_list = new Dataset(conn, this);
    auto *splitter = new QSplitter(this);
    m_grid = new DataGrid(m_list, splitter);
    m_grid->setObjectName(QStringLiteral("AssetAddDBGridEh"));
    m_grid->setRowColor([](const Dataset &ds, int row) {
        const QVariant s = ds.storageValue(row, QStringLiteral("State"));
        return s.isNull() ? QColor() : BillFrame::stateColour(s.toInt(), true);
    });

    auto *right = new QWidget(splitter);
    auto *rightLay = new QVBoxLayout(right);
    auto addBoxes = [&](const QString &title, const std::vector<Box> &boxes) {
        auto *group = new QGroupBox(title, right);
        auto *g = new QGridLayout(group);
        int r = 0, c = 0;
        for (const Box &b : boxes) {
            if (b.fullRow && c != 0) {
                ++r;
                c = 0;
            }
            auto *label = formLabel(QString::fromUtf8(b.label), group);
            QWidget *editor = b.date ? static_cast<QWidget *>(new BoundDateEdit(m_list, QLatin1String(b.field), group))
                                     : static_cast<QWidget *>(new BoundLineEdit(m_list, QLatin1String(b.field), group));
            editor->setObjectName(QLatin1String(b.field));
            static_cast<QLineEdit *>(editor)->setReadOnly(true);
            UiLook::applyEditorLook(editor);
            g->addWidget(label, r, c * 2);
            g->addWidget(editor, r, c * 2 + 1, 1, b.fullRow ? 3 : 1);
            if (b.fullRow || ++c == 2) {
                ++r;
                c = 0;
            }
        }
        rightLay->addWidget(group);
    };
    if (loans) {
        addBoxes(QStringLiteral("单据信息"),
                 {{"单  据  编  号", "Code", false, false}, {"借出日期", "LoanDate", true, false}, {"借  用  部  门", "LoanDept", false, false},
                  {"借用人员", "Loaner", false, false}, {"预计 归还 日期", "IntendBackDate", true, false}, {"借出人员", "Loankeeper", false, false},
                  {"借出时技术状态", "LoanTechState", false, true}, {"实际 归还 日期", "BackDate", true, false}, {"归还人员", "Backer", false, false},
                  {"接收人员", "BackKeeper", false, false}, {"归还时技术状态", "BackTechState", false, false}, {"单据状态", "StateName", false, false}});
    } else {
        addBoxes(QStringLiteral("单据信息"),
                 {{"单 据  编 号", "Code", false, false}, {"维 修  日 期", "ServiceDate", true, false}, {"维 修  单 位", "ServiceDept", false, false},
                  {"送 修  人 员", "Deliver", false, false}, {"预计完成日期", "IntendBackDate", true, false}, {"实际完成日期", "BackDate", true, false},
                  {"维 修  费 用", "Fee", false, false}, {"接收人员", "BackKeeper", false, false}, {"单 据  状 态", "StateName", false, false}});
        auto *cause = new QGroupBox(QStringLiteral("维修原因"), right);
        auto *memo = new BoundMemo(m_list, QStringLiteral("Cause"), cause);
        memo->setReadOnly(true);
        UiLook::applyEditorLook(memo);
        (new QVBoxLayout(cause))->addWidget(memo);
        rightLay->addWidget(cause);
    }
    addBoxes(QStringLiteral("物品信息"), {{"物品编号", "AssetCode", false, false}, {"物品名称", "Name", false, false},
                                          {"规格型号", "Model", false, false}, {"生产厂商", "Manufacturer", false, false}});
    auto *makeof = new QGroupBox(QStringLiteral("详细配置"), right);
    auto *memo = new BoundMemo(m_list, QStringLiteral("Makeof"), makeof);
    memo->setReadOnly(true);
    UiLook::applyEditorLook(memo);
    (new QVBoxLayout(makeof))->addWidget(memo);
    rightLay->addWidget(makeof, 1);
    auto *legend = new QHBoxLayout;
    const QStringList names = loans ? QStringList{"借出未登帐", "借出已登帐", "归还未登帐", "归还已登帐"}
                                    : QStringList{"维修未登帐", "维修已登帐", "完成未登帐", "完成已登帐"};
    for (int s = 0; s < names.size(); ++s) {
        auto *l = new QLabel(names[s], right);
        l->setFrameShape(QFrame::Box);
        l->setAlignment(Qt::AlignCenter);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        const QColor c = BillFrame::stateColour(s, true);
        p.setColor(QPalette::Window, c.isValid() ? c : UiLook::Cream);
        l->setPalette(p);
        legend->addWidget(l);
    }
    rightLay->addLayout(legend);
    splitter->addWidget(m_grid);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({360, 640});

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(bar);
    lay->addWidget(splitter, 1);

    // Opening: one calendar month back to today, every state.
    const QDate now = todayNow();
    m_from->setDate(BillFrame::monthBefore(now));
    m_to->setDate(now);
    openList(m_from->date(), now);

    m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 110);
    m_grid->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 157);
    if (loans) {
        m_grid->addColumn(QStringLiteral("Loaner"), QStringLiteral("借用人员"), 80);
    } else {
        m_grid->addColumn(QStringLiteral("ServiceDept"), QStringLiteral("维修单位"), 82);
        m_grid->addColumn(QStringLiteral("ServiceDate"), QStringLiteral("维修日期"), 90, Qt::AlignCenter, DatasetModel::Format::Date);
    }
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);

    connect(refreshBtn, &QToolButton::clicked, this, [this] { refresh(); });
    connect(m_state, &QComboBox::currentIndexChanged, this, [this] { applyStateChoice(); });
    connect(printBtn, &QToolButton::clicked, this, [this] { print(); });
    connect(closeBtn, &QToolButton::clicked, this, [this] { TreeWindow::closeWindow(this); });
}

void BillStateQueryWindow::openList(const QDate &from, const QDate &to)
{
    try {
        m_list->close();
        if (m_kind == Kind::Loans)
            LoanQueries::applyLoans(*m_list, LoanQueries::loans(m_conn->dialect(), from, to));
        else
            LoanQueries::applyRepairs(*m_list, LoanQueries::repairs(m_conn->dialect(), from, to));
        m_list->open();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
}

bool BillStateQueryWindow::refresh()
{
    QDate from, to;
    if (!DateEdit::readWindow(m_from, m_to, this, from, to))
        return false;
    openList(from, to);
    applyStateChoice();
    return true;
}

void BillStateQueryWindow::applyStateChoice()
{
    const QString filter = LoanQueries::stateChoiceFilter(m_state->currentIndex());
    m_list->setFiltered(false);
    if (filter.isEmpty())
        return;
    m_list->setFilterText(filter);
    m_list->setFiltered(true);
    m_list->first();
}

void BillStateQueryWindow::print()
{
    // The guard freezes the grid and puts the cursor back, also when the report fails.
    DatasetStateGuard guard(*m_list);
    const DatasetReportData rows(*m_list);
    ReportVariables vars;
    vars.values.insert(QStringLiteral("dwmc"), BillFrame::organisationName());
    previewReport(m_kind == Kind::Loans ? QStringLiteral("loan-list") : QStringLiteral("repair-list"), rows, vars, this);
}
