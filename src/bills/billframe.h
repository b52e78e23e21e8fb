#pragma once
#include "bills/tally.h"

#include <QColor>
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class Connection;
class Dataset;
class DataGrid;
class DateEdit;
class QGroupBox;
class QLabel;
class QToolButton;
class QVBoxLayout;
class ReportData;
struct ReportVariables;

// What one kind of bill window tells the shared frame.
struct BillFrameSetup {
    BillKind kind = BillKind::Acquisition;
    QString caption;      // window title
    QString heading;      // green label of the top bar
    QString table;        // the bill table Save writes to
    QString listSql;      // the list statement ("... where ... order by ..."), with :minDate and :maxDate
    QString keyColumn = QStringLiteral("Id"); // the bill's key as the statement names it
    QList<int> editableStates{0};
    bool fourState = false;
    QStringList legend;   // one label per state colour (2 or 4)
    bool appends = true;  // Append, Delete and Print
};

// The frame every bill window is built on: the top bar with the date window
// and the buttons, the bill list on the left, the window's own edit panel on
// the right with the colour legend under it. The frame runs Refresh, Append,
// Delete, Save, the common steps of Tally, the enabling of editors by the
// bill's state, Print of the current bill and the close question; the window
// supplies its fields, combo lists, Append values and print-out through the
// hooks below.
class BillFrame : public QWidget {
    Q_OBJECT
public:
    BillFrame(Connection *conn, const BillFrameSetup &setup, QWidget *parent = nullptr);
    ~BillFrame() override;

    Connection *connection() const { return m_conn; }
    const BillFrameSetup &setup() const { return m_setup; }
    Dataset *list() const { return m_list; }
    DataGrid *grid() const { return m_grid; }
    // The window's edit panel goes here (top to bottom).
    QVBoxLayout *panelLayout() const { return m_panelLayout; }
    QWidget *panel() const { return m_panel; }

    // Datasets written with the list and asked about pending changes (the
    // transfer's lines), written before the list.
    void addDetail(Dataset *ds);
    // Editors enabled only while the current bill is editable.
    void addEditor(QWidget *w) { m_editors.push_back(w); }
    // Buttons shown only while the current bill is editable (line buttons).
    void addStateButton(QToolButton *b) { m_stateButtons.push_back(b); }
    const std::vector<QWidget *> &editors() const { return m_editors; }

    // ---- hooks of the window ----
    // Fills the new row after Code and State (Controller, dates, Id ...).
    std::function<void(Dataset &list, const QDate &today)> onAppend;
    // Runs before the current bill is removed (its lines).
    std::function<void(Dataset &list)> onDelete;
    // Fills the combo lists when the window is first shown.
    std::function<void()> fillLists;
    // After every change of the editors' state (line editors of the transfer).
    std::function<void(bool editable)> onStateChanged;
    // The print-out of the current bill: template and rows.
    QString templateName;
    std::function<std::unique_ptr<ReportData>(ReportVariables &vars)> printData;

    // ---- the frame's operations (also the buttons') ----
    void showFirstTime(const QDate &today = QDate::currentDate());
    bool refresh();
    void append();
    void removeCurrent();
    bool save();
    void tally();
    void print();
    void changeControlState();
    bool queryClose();
    bool hasPendingChanges();
    bool currentEditable() const;
    // Notes that the user changed the current bill or its lines, with the
    // state it was read in: its save is refused if another user has tallied
    // or deleted it meanwhile.
    void holdCurrent();

    // The default date window: one calendar month back from `today`.
    static QDate monthBefore(const QDate &today);
    // Row colour of a bill state in a two-state or four-state list; invalid: the grid's own.
    static QColor stateColour(int state, bool fourState);

    DateEdit *minDateEdit() const { return m_minDate; }
    DateEdit *maxDateEdit() const { return m_maxDate; }
    QToolButton *refreshButton() const { return m_refresh; }
    QToolButton *appendButton() const { return m_append; }
    QToolButton *deleteButton() const { return m_delete; }
    QToolButton *saveButton() const { return m_save; }
    QToolButton *printButton() const { return m_print; }
    QToolButton *tallyButton() const { return m_tally; }
    QToolButton *closeButton() const { return m_close; }
    QList<QLabel *> legendLabels() const { return m_legend; }

    // The day Append and the tally take as today (tests set it).
    void setToday(const QDate &d) { m_today = d; }
    QDate today() const { return m_today.isValid() ? m_today : QDate::currentDate(); }

    // The organisation name answered as dwmc: the register's setting unless set here (tests).
    static void setOrganisationName(const QString &name);
    static QString organisationName();

signals:
    // After a tally that went through.
    void tallied(qint64 billId);

private:
    void openList(const QDate &from, const QDate &to);
    static QString withKeptBill(const QString &sql, const QString &keyColumn);
    bool writeAll();

    Connection *m_conn;
    BillFrameSetup m_setup;
    Dataset *m_list;
    DataGrid *m_grid;
    QWidget *m_panel;
    QVBoxLayout *m_panelLayout;
    DateEdit *m_minDate, *m_maxDate;
    QToolButton *m_refresh, *m_append = nullptr, *m_delete = nullptr, *m_save, *m_print = nullptr, *m_tally, *m_close;
    QList<QLabel *> m_legend;
    std::vector<Dataset *> m_details;
    std::vector<QWidget *> m_editors;
    std::vector<QToolButton *> m_stateButtons;
    QDate m_today;
    bool m_shown = false;
    QHash<qint64, int> m_held; // saved bills changed here: Id -> state as read
};

// The window hosting a frame: asks the frame's close question.
namespace BillWindows {
void closeQuery(BillFrame *frame, class QCloseEvent *e);
}
