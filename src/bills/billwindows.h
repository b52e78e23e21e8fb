#pragma once
#include "bills/billframe.h"

#include <QHash>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BoundComboBox;
class Connection;
class DataGrid;
class Dataset;
class QToolButton;
class ReportData;

// One bill window: the shared frame with the edit panel, combo lists, Append
// values, item pick and print-out of its kind of bill.
//
//   acquisition        TAssetAddForm          "物品增加单维护"
//   transfer           TAssetMoveForm         "物品调拨单维护"
//   write-off          TAssetDiscardForm      "物品销账单维护"
//   loan               TAssetLoanForm         "物品借出单维护"
//   loan return        TAssetLoanBackForm     "物品归还单维护"
//   repair             TAssetMaintainForm     "物品维修单维护"
//   repair completion  TAssetServiceBackForm  "物品维修完成单维护"
class BillWindow : public QWidget {
    Q_OBJECT
public:
    BillWindow(Connection *conn, BillKind kind, QWidget *parent = nullptr);
    ~BillWindow() override;

    BillKind kind() const { return m_kind; }
    BillFrame *frame() const { return m_frame; }
    Dataset *list() const;
    // The transfer's item lines; null in the other windows.
    Dataset *lines() const { return m_lines; }
    DataGrid *linesGrid() const { return m_linesGrid; }
    // The editor showing a field (bill field, or looked-up item field).
    QWidget *editorOf(const QString &field) const { return m_editorOf.value(field.toLower()); }
    // "..." beside the item code (write-off, loan, repair).
    QToolButton *chooseAssetButton() const { return m_choose; }
    QToolButton *addLineButton() const { return m_addLine; }
    QToolButton *deleteLineButton() const { return m_delLine; }

    // How the item is chosen: the shared asset picker; tests replace it.
    std::function<std::optional<qint64>()> pickAsset;
    void chooseAsset();  // ChooseAssetButtonClick
    void addLine();      // AddMoveBtnClick
    void removeLine();   // DelMoveBtnClick

    // The rows and variables of the current bill's print-out.
    std::unique_ptr<ReportData> printRows(struct ReportVariables &vars) const;

    bool queryClose() { return m_frame->queryClose(); }

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildAcquisition();
    void buildTransfer();
    void buildWriteOff();
    void buildLoan();
    void buildLoanReturn();
    void buildRepair();
    void buildRepairCompletion();
    void addItemLookups(Dataset *ds, const QStringList &names);
    void updateLineEditors();

    Connection *m_conn;
    BillKind m_kind;
    BillFrame *m_frame = nullptr;
    Dataset *m_assets = nullptr; // the items the bill's item fields are looked up in
    Dataset *m_types = nullptr;  // categories (acquisition)
    Dataset *m_lines = nullptr;  // transfer lines
    DataGrid *m_linesGrid = nullptr;
    QToolButton *m_choose = nullptr, *m_addLine = nullptr, *m_delLine = nullptr;
    std::vector<QWidget *> m_lineEditors;
    QHash<QString, QWidget *> m_editorOf;
    std::vector<std::pair<std::vector<BoundComboBox *>, QString>> m_lists; // combos and their statement
};

// One class per window for the child-window registry.
template <BillKind K> class BillWindowOf : public BillWindow {
public:
    explicit BillWindowOf(Connection *conn, QWidget *parent = nullptr) : BillWindow(conn, K, parent) {}
};
using AcquisitionBillWindow = BillWindowOf<BillKind::Acquisition>;
using TransferBillWindow = BillWindowOf<BillKind::Transfer>;
using WriteOffBillWindow = BillWindowOf<BillKind::WriteOff>;
using LoanBillWindow = BillWindowOf<BillKind::Loan>;
using LoanReturnBillWindow = BillWindowOf<BillKind::LoanReturn>;
using RepairBillWindow = BillWindowOf<BillKind::Repair>;
using RepairCompletionBillWindow = BillWindowOf<BillKind::RepairCompletion>;

// The print-outs' template names.
namespace BillTemplates {
inline const char *const Acquisition = "物品验收单";
inline const char *const Transfer = "物品调拨单";
inline const char *const WriteOff = "物品销账单";
inline const char *const Loan = "物品借出单";
inline const char *const Repair = "物品维修单";
} // namespace BillTemplates
