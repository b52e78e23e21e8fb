#pragma once
#include <QDate>
#include <QWidget>

class Connection;
class Dataset;
class DataGrid;
class DateEdit;

// The acquisition, transfer and write-off bill queries: the bill windows'
// look with every field read-only, a date window and Refresh, and no way to
// change anything. Untallied bills are listed whatever their date.
class BillQueryWindow : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Acquisitions, Transfers, WriteOffs };
    BillQueryWindow(Kind kind, Connection *conn, QWidget *parent = nullptr);

    Dataset *list() const { return m_list; }
    Dataset *lines() const { return m_lines; } // transfers only
    DataGrid *grid() const { return m_grid; }
    DataGrid *lineGrid() const { return m_lineGrid; }
    DateEdit *minDateEdit() const { return m_from; }
    DateEdit *maxDateEdit() const { return m_to; }

    bool refresh();

    static void setTodayForTests(const QDate &d);

private:
    void openList(const QDate &from, const QDate &to);

    Kind m_kind;
    Connection *m_conn;
    Dataset *m_list;
    Dataset *m_lines = nullptr;
    DataGrid *m_grid;
    DataGrid *m_lineGrid = nullptr;
    DateEdit *m_from;
    DateEdit *m_to;
};

class AcquisitionQueryWindow : public BillQueryWindow {
    Q_OBJECT
public:
    AcquisitionQueryWindow(Connection *conn, QWidget *parent = nullptr) : BillQueryWindow(Kind::Acquisitions, conn, parent) {}
};
class TransferQueryWindow : public BillQueryWindow {
    Q_OBJECT
public:
    TransferQueryWindow(Connection *conn, QWidget *parent = nullptr) : BillQueryWindow(Kind::Transfers, conn, parent) {}
};
class WriteOffQueryWindow : public BillQueryWindow {
    Q_OBJECT
public:
    WriteOffQueryWindow(Connection *conn, QWidget *parent = nullptr) : BillQueryWindow(Kind::WriteOffs, conn, parent) {}
};
