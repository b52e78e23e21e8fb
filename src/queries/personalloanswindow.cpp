#include "queries/personalloanswindow.h"

#include "bills/billframe.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "common/recordpanels.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/filter.h"
#include "queries/loanqueries.h"
#include "reference/refshared.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportpreview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
void openOrTell(Dataset *ds, QWidget *w)
{
    try {
        ds->open();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), w);
    }
}
} // namespace

PersonalLoansWindow::PersonalLoansWindow(Connection *conn, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("个人借用物品查询"));
    setObjectName(QStringLiteral("TUserLoanListForm"));
    setFont(UiLook::font(15));
    auto q = [conn](const char *id) { return conn->quote(QLatin1String(id)); };

    m_depts = new Dataset(conn, this);
    m_depts->setSql(QStringLiteral("select * from %1 order by %2").arg(q("Department"), q("Code")));
    m_depts->setReadOnly(true);
    Reference::addNodeLabel(*m_depts, 60, false);
    openOrTell(m_depts, this);
    m_staff = new Dataset(conn, this);
    m_staff->setTable(QStringLiteral("Staffer"));
    m_staff->setReadOnly(true);
    openOrTell(m_staff, this);
    // The loans of the current person, read again whenever the person changes.
    m_loans = new Dataset(conn, this);
    LoanQueries::applyLoans(*m_loans, LoanQueries::personalLoans(conn->dialect(), QString()));
    m_loans->setMasterByParams(m_staff);
    openOrTell(m_loans, this);

    auto *bar = new QWidget(this);
    auto *barLay = new QHBoxLayout(bar);
    barLay->setContentsMargins(10, 4, 6, 4);
    barLay->addWidget(UiLook::titleLabel(QStringLiteral("个人借用物品查询"), bar));
    barLay->addStretch(1);
    QToolButton *printBtn = UiLook::iconButton(QStringLiteral("打印"), QIcon(), bar);
    printBtn->setObjectName(QStringLiteral("PrintBtn"));
    QToolButton *closeBtn = UiLook::iconButton(QStringLiteral("退出"), QIcon(), bar);
    closeBtn->setObjectName(QStringLiteral("CloseBtn"));
    barLay->addWidget(printBtn);
    barLay->addWidget(closeBtn);

    auto *outer = new QSplitter(Qt::Horizontal, this);
    auto *left = new QSplitter(Qt::Vertical, outer);
    m_tree = new DatasetTreeView(m_depts, left);
    m_tree->setObjectName(QStringLiteral("DeptdxDBTreeView"));
    m_tree->setExpandOnSelect(true);
    m_tree->treeModel()->setHint(&Reference::fullNodeLabel);
    UiLook::applyDataAreaLook(m_tree);
    m_staffGrid = new DataGrid(m_staff, left);
    m_staffGrid->setObjectName(QStringLiteral("StafferDBGridEh"));
    m_staffGrid->addColumn(QStringLiteral("Code"), QStringLiteral("职员编号"), 89);
    m_staffGrid->addColumn(QStringLiteral("Name"), QStringLiteral("姓名"), 92);
    m_staffGrid->addColumn(QStringLiteral("Sex"), QStringLiteral("性别"), 32, Qt::AlignCenter);
    m_staffGrid->addColumn(QStringLiteral("Birthday"), QStringLiteral("出生日期"), 94, Qt::AlignCenter, DatasetModel::Format::Date);
    m_staffGrid->setSortable(false);
    left->addWidget(m_tree);
    left->addWidget(m_staffGrid);

    static const std::pair<const char *, const char *> lines[] = {
        {"单  据  编  号", "Code"}, {"借出日期", "LoanDate"}, {"借  用  部  门", "LoanDept"}, {"借用人员", "Loaner"},
        {"预计 归还 日期", "IntendBackDate"}, {"借出人员", "Loankeeper"}, {"借出时技术状态", "LoanTechState"},
        {"实际 归还 日期", "BackDate"}, {"归还人员", "Backer"}, {"接收人员", "BackKeeper"}, {"归还时技术状态", "BackTechState"},
        {"单据状态", "StateName"}, {"物品编号", "AssetCode"}, {"物品名称", "Name"}, {"规格型号", "Model"}, {"生产厂商", "Manufacturer"}};
    m_panels = new RecordPanelList(
        m_loans,
        [](RecordPanel &p) {
            for (const auto &[label, field] : lines) {
                p.addLine(QString::fromUtf8(label), QLatin1String(field));
                if (auto *e = qobject_cast<QLineEdit *>(p.editorOf(QLatin1String(field))))
                    e->setReadOnly(true);
            }
            p.addMemo(QStringLiteral("详细配置"), QStringLiteral("Makeof"));
            if (auto *m = qobject_cast<QPlainTextEdit *>(p.editorOf(QStringLiteral("Makeof"))))
                m->setReadOnly(true);
        },
        2, outer);
    outer->addWidget(left);
    outer->addWidget(m_panels);
    outer->setSizes({320, 700});
    outer->setStretchFactor(1, 1);

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(bar);
    lay->addWidget(outer, 1);

    connect(m_tree, &DatasetTreeView::nodeSelected, this, [this](const QString &key) { chooseDepartment(key); });
    connect(printBtn, &QToolButton::clicked, this, [this] { print(); });
    connect(closeBtn, &QToolButton::clicked, this, [this] { TreeWindow::closeWindow(this); });
}

void PersonalLoansWindow::chooseDepartment(const QString &id)
{
    m_staff->filterTo(Filter::startsWith(QStringLiteral("Dept_Id"), id.trimmed()));
}

void PersonalLoansWindow::print()
{
    DatasetStateGuard guard(*m_loans);
    const DatasetReportData rows(*m_loans);
    ReportVariables vars;
    vars.values.insert(QStringLiteral("dwmc"), BillFrame::organisationName());
    previewReport(QStringLiteral("loan-list"), rows, vars, this);
}
