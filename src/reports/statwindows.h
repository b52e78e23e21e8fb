#pragma once
#include "reports/statreports.h"

#include <QDate>
#include <QWidget>
#include <functional>

class Connection;
class Dataset;
class DataGrid;
class DateEdit;
class QToolButton;

// The category summary and the five detail lists: a top bar with the title,
// the date or the period, 刷新, 打印 and 退出, and below it the read-only grid
// of the report's rows. One window class per report (the child-window
// registry keeps one of each); they differ only in what they query.
class StatReportWindow : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Summary, CategoryList, DepartmentList, Matured, Additions, WriteOffs };

    StatReportWindow(Kind kind, Connection *conn, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    bool isPeriod() const { return m_kind == Kind::Summary || m_kind == Kind::Additions || m_kind == Kind::WriteOffs; }
    const StatReport &report() const { return m_report; }
    Dataset *rows() const { return m_rows; }
    DataGrid *grid() const { return m_grid; }
    DateEdit *dateEdit() const { return m_date; }
    DateEdit *fromEdit() const { return m_from; }
    DateEdit *toEdit() const { return m_to; }

    // Reads the boxes and queries again; a box that is not a date is told and nothing changes.
    bool refresh();
    // The report over the rows as the grid shows them, with the boxes as they are now.
    void print();
    // The variables the printed report asks for (dwmc, cxrq or datespac),
    // the boxes read at this moment; a box that is not a date is told and
    // leaves its variable empty.
    ReportVariables printVariables();

    // The day the window takes for today (tests fix it).
    static void setTodayForTests(const QDate &d);
    static QDate today();

private:
    void runQuery(const QDate &a, const QDate &b);

    Kind m_kind;
    StatReport m_report;
    Connection *m_conn;
    Dataset *m_rows;
    DataGrid *m_grid;
    DateEdit *m_date = nullptr;
    DateEdit *m_from = nullptr;
    DateEdit *m_to = nullptr;
};

class CategorySummaryWindow : public StatReportWindow {
    Q_OBJECT
public:
    CategorySummaryWindow(Connection *conn, QWidget *parent = nullptr) : StatReportWindow(Kind::Summary, conn, parent) {}
};
class CategoryListWindow : public StatReportWindow {
    Q_OBJECT
public:
    CategoryListWindow(Connection *conn, QWidget *parent = nullptr) : StatReportWindow(Kind::CategoryList, conn, parent) {}
};
class DepartmentListWindow : public StatReportWindow {
    Q_OBJECT
public:
    DepartmentListWindow(Connection *conn, QWidget *parent = nullptr) : StatReportWindow(Kind::DepartmentList, conn, parent) {}
};
class MaturedListWindow : public StatReportWindow {
    Q_OBJECT
public:
    MaturedListWindow(Connection *conn, QWidget *parent = nullptr) : StatReportWindow(Kind::Matured, conn, parent) {}
};
class AdditionsListWindow : public StatReportWindow {
    Q_OBJECT
public:
    AdditionsListWindow(Connection *conn, QWidget *parent = nullptr) : StatReportWindow(Kind::Additions, conn, parent) {}
};
class WriteOffsListWindow : public StatReportWindow {
    Q_OBJECT
public:
    WriteOffsListWindow(Connection *conn, QWidget *parent = nullptr) : StatReportWindow(Kind::WriteOffs, conn, parent) {}
};
