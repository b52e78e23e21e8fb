#pragma once
#include <QDate>
#include <QWidget>

class Connection;
class Dataset;
class DataGrid;
class DateEdit;
class QComboBox;

// The loan query and the repair query: bills not yet closed whatever their
// date, closed ones whose loan or repair date lies in the date window; a
// state choice that filters the loaded rows; the bill and its item on the
// right; a printable list. Nothing can be changed here.
class BillStateQueryWindow : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Loans, Repairs };
    BillStateQueryWindow(Kind kind, Connection *conn, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    Dataset *list() const { return m_list; }
    DataGrid *grid() const { return m_grid; }
    DateEdit *minDateEdit() const { return m_from; }
    DateEdit *maxDateEdit() const { return m_to; }
    QComboBox *stateCombo() const { return m_state; }

    // Reads the date window and queries again, then applies the state choice.
    bool refresh();
    // Filters the rows already loaded by the state choice (no new query).
    void applyStateChoice();
    void print();

    static void setTodayForTests(const QDate &d);

private:
    void openList(const QDate &from, const QDate &to);

    Kind m_kind;
    Connection *m_conn;
    Dataset *m_list;
    DataGrid *m_grid;
    DateEdit *m_from;
    DateEdit *m_to;
    QComboBox *m_state;
};

class LoanQueryWindow : public BillStateQueryWindow {
    Q_OBJECT
public:
    LoanQueryWindow(Connection *conn, QWidget *parent = nullptr) : BillStateQueryWindow(Kind::Loans, conn, parent) {}
};

class RepairQueryWindow : public BillStateQueryWindow {
    Q_OBJECT
public:
    RepairQueryWindow(Connection *conn, QWidget *parent = nullptr) : BillStateQueryWindow(Kind::Repairs, conn, parent) {}
};
