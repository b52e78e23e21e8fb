#include "reports/statwindows.h"

#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/settings.h"
#include "reports/engine/reportpreview.h"
#include "reports/reportqueries.h"

#include <QHBoxLayout>
#include <cmath>
#include <QLabel>
#include <QLocale>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QDate s_today;

StatReport reportOf(StatReportWindow::Kind k)
{
    using K = StatReportWindow::Kind;
    switch (k) {
    case K::Summary: return StatReports::categorySummary();
    case K::CategoryList: return StatReports::categoryList();
    case K::DepartmentList: return StatReports::departmentList();
    case K::Matured: return StatReports::maturedList();
    case K::Additions: return StatReports::additionsList();
    case K::WriteOffs: return StatReports::writeoffsList();
    }
    return {};
}

// The caption differs from the bar's title for two of the windows.
QString captionOf(StatReportWindow::Kind k, const StatReport &r)
{
    using K = StatReportWindow::Kind;
    if (k == K::Summary)
        return QStringLiteral("物品分类汇总报表");
    if (k == K::DepartmentList)
        return QStringLiteral("部门物品分类明细表");
    return r.title;
}

QString barTitleOf(StatReportWindow::Kind k, const StatReport &r)
{
    return k == StatReportWindow::Kind::Summary ? QStringLiteral("物品分类汇总表") : r.title;
}

DatasetModel::Format formatOf(const QString &f)
{
    if (f == QLatin1String("date"))
        return DatasetModel::Format::Date;
    if (f == QLatin1String("#,##0.00"))
        return DatasetModel::Format::Money;
    if (f == QLatin1String("0.##"))
        return DatasetModel::Format::ZeroHash;
    return DatasetModel::Format::Auto;
}

QString numberText(double v)
{
    return QString::number(v, 'g', 15);
}

} // namespace

void StatReportWindow::setTodayForTests(const QDate &d)
{
    s_today = d;
}

QDate StatReportWindow::today()
{
    return s_today.isValid() ? s_today : QDate::currentDate();
}

StatReportWindow::StatReportWindow(Kind kind, Connection *conn, QWidget *parent)
    : QWidget(parent), m_kind(kind), m_report(reportOf(kind)), m_conn(conn)
{
    setWindowTitle(captionOf(kind, m_report));
    setFont(UiLook::font(15));
    setObjectName(m_report.name);

    auto *bar = new QWidget(this);
    auto *barLay = new QHBoxLayout(bar);
    barLay->setContentsMargins(10, 4, 6, 4);
    barLay->addWidget(UiLook::titleLabel(barTitleOf(kind, m_report), bar));
    barLay->addSpacing(24);
    auto dateBox = [&](const char *name) {
        auto *e = new DateEdit(bar);
        e->setObjectName(QLatin1String(name));
        e->setFixedWidth(120);
        UiLook::applyEditorLook(e);
        return e;
    };
    if (isPeriod()) {
        m_from = dateBox("minDateEdit");
        m_to = dateBox("MaxDateEdit");
        barLay->addWidget(m_from);
        barLay->addWidget(new QLabel(QStringLiteral("至"), bar));
        barLay->addWidget(m_to);
    } else {
        m_date = dateBox("DateEdit");
        barLay->addWidget(new QLabel(QStringLiteral("查询"), bar));
        barLay->addWidget(m_date);
        barLay->addWidget(new QLabel(kind == Kind::Matured ? QStringLiteral("时的到期物品情况") : QStringLiteral("时的物品情况"), bar));
    }
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

    m_rows = new Dataset(conn, this);
    m_grid = new DataGrid(m_rows, this);
    m_grid->setObjectName(kind == Kind::Summary ? QStringLiteral("AssetAddDBGridEh") : QStringLiteral("AssetDBGridEh"));

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(bar);
    lay->addWidget(m_grid, 1);

    // Opening: today for the single-date lists, the previous calendar month for the others.
    const QDate now = today();
    if (isPeriod()) {
        const ReportPeriod p = previousCalendarMonth(now);
        m_from->setDate(p.from);
        m_to->setDate(p.to);
        runQuery(p.from, p.to);
    } else {
        m_date->setDate(now);
        runQuery(now, now);
    }

    for (const StatColumn &c : m_report.columns) {
        const bool number = c.format == QLatin1String("#,##0.00") || c.field.startsWith(QLatin1String("q")) || c.field.startsWith(QLatin1String("zj"))
            || c.field.startsWith(QLatin1String("xz")) || c.field == QLatin1String("Price") || c.field == QLatin1String("zcxz")
            || c.field == QLatin1String("spare") || c.field == QLatin1String("NumberofYear");
        const bool text = c.field == QLatin1String("zjfs");
        Qt::Alignment a = (number && !text) ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter;
        if (c.format == QLatin1String("date"))
            a = Qt::AlignCenter;
        m_grid->addColumn(c.field, c.title, c.width, a, formatOf(c.format));
    }
    m_grid->setFrozenColumns(m_report.frozenColumns);
    m_grid->setSortable(kind == Kind::Summary);
    if (kind == Kind::Summary) {
        // 合计 under the name and the sum of each figure under its column.
        m_grid->setFooter([this](int column) -> QString {
            if (column == 1)
                return QStringLiteral("合计");
            if (column < 2 || column >= m_report.columns.size())
                return {};
            const int f = m_rows->fieldIndex(m_report.columns[column].field);
            if (f < 0)
                return {};
            double sum = 0;
            for (int r = 0; r < m_rows->recordCount(); ++r)
                sum += m_rows->valueAt(r, f).toDouble();
            return numberText(std::round(sum * 100) / 100);
        });
    }

    connect(refreshBtn, &QToolButton::clicked, this, [this] { refresh(); });
    connect(printBtn, &QToolButton::clicked, this, [this] { print(); });
    connect(closeBtn, &QToolButton::clicked, this, [this] { TreeWindow::closeWindow(this); });
}

void StatReportWindow::runQuery(const QDate &a, const QDate &b)
{
    const Dialect &d = m_conn->dialect();
    const QDate now = today();
    ReportQuery q;
    switch (m_kind) {
    case Kind::Summary: q = ReportQueries::categorySummary(d, a, b, now); break;
    case Kind::CategoryList: q = ReportQueries::categoryList(d, a, now); break;
    case Kind::DepartmentList: q = ReportQueries::departmentList(d, a, now); break;
    case Kind::Matured: q = ReportQueries::maturedList(d, a); break;
    case Kind::Additions: q = ReportQueries::additionsList(d, a, b); break;
    case Kind::WriteOffs: q = ReportQueries::writeoffsList(d, a, b, now); break;
    }
    try {
        m_rows->close();
        ReportQueries::apply(*m_rows, q);
        m_rows->open();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
    m_grid->refreshFooter();
}

bool StatReportWindow::refresh()
{
    if (isPeriod()) {
        const QDate from = DateEdit::parse(m_from->text());
        if (!from.isValid()) {
            Prompter::instance().information(QStringLiteral("起始日期格式错误"), QString(), this);
            return false;
        }
        const QDate to = DateEdit::parse(m_to->text());
        if (!to.isValid()) {
            Prompter::instance().information(QStringLiteral("终止日期格式错误"), QString(), this);
            return false;
        }
        runQuery(from, to);
        return true;
    }
    const QDate d = DateEdit::parse(m_date->text());
    if (!d.isValid()) {
        Prompter::instance().information(QStringLiteral("日期格式错误"), QString(), this);
        return false;
    }
    runQuery(d, d);
    return true;
}

ReportVariables StatReportWindow::printVariables()
{
    const QString organisation = Settings::current().organisationName();
    ReportVariables v;
    if (m_kind != Kind::Matured)
        v.values.insert(QStringLiteral("dwmc"), organisation);
    const QString periodName = m_kind == Kind::Summary ? QStringLiteral("datespac") : QStringLiteral("cxrq");
    QString text;
    if (isPeriod()) {
        const QDate from = DateEdit::parse(m_from->text());
        const QDate to = DateEdit::parse(m_to->text());
        if (!from.isValid())
            Prompter::instance().information(QStringLiteral("起始日期格式错误"), QString(), this);
        else if (!to.isValid())
            Prompter::instance().information(QStringLiteral("终止日期格式错误"), QString(), this);
        else
            text = reportHeadingPeriod(from, to);
    } else {
        const QDate d = DateEdit::parse(m_date->text());
        if (!d.isValid())
            Prompter::instance().information(QStringLiteral("起始日期格式错误"), QString(), this);
        else
            text = reportHeadingDate(d);
    }
    v.values.insert(periodName, text);
    return v;
}

void StatReportWindow::print()
{
    const ReportVariables vars = printVariables();
    const DatasetReportData rows(*m_rows);
    previewReport(m_report.name, rows, vars, this);
}
