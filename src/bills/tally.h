#pragma once
#include <QDate>
#include <QString>

class Connection;

// The seven tallies (登帐). Each is one transaction on the connection: it
// reads the bill and the items it names again inside the transaction (what a
// window shows may be older than the register), checks them, writes the
// ledger and freezes the bill, or changes nothing and says why.
enum class BillKind { Acquisition, Transfer, WriteOff, Loan, LoanReturn, Repair, RepairCompletion };

struct TallyOutcome {
    bool ok = false;
    QString message;   // the window's message when refused or failed; empty on success
    QString detail;    // the engine's own text when the write failed
    int ledgerRows = 0; // ledger rows created or changed
};

// `today` is the day of the tally (acquisition writes it into BuildDate).
TallyOutcome tallyBill(Connection &conn, BillKind kind, qint64 billId, const QDate &today = QDate::currentDate());

TallyOutcome tallyAcquisition(Connection &conn, qint64 billId, const QDate &today = QDate::currentDate());
TallyOutcome tallyTransfer(Connection &conn, qint64 billId);
TallyOutcome tallyWriteOff(Connection &conn, qint64 billId);
TallyOutcome tallyLoan(Connection &conn, qint64 billId);
TallyOutcome tallyLoanReturn(Connection &conn, qint64 billId);
TallyOutcome tallyRepair(Connection &conn, qint64 billId);
TallyOutcome tallyRepairCompletion(Connection &conn, qint64 billId);

// The name used by zentrav-cli (acquisition, transfer, writeoff, loan,
// loan-return, repair, repair-completion); false when unknown.
bool billKindFromName(const QString &name, BillKind &kind);
QString billTable(BillKind kind);

namespace TallyMessages {
inline const char *const AlreadyTallied = "单据已登帐，不可再次登帐！";
inline const char *const SaveFailed = "保存失败！";
inline const char *const ZeroQuantity = "增加数量为0，不可登帐！";
inline const char *const NoCategory = "资产类型为空，不可登帐！";
inline const char *const NoTransferItems = "没有选定调拨资产，不可登帐！";
inline const char *const NoWriteOffItem = "没有选定销账资产，不可登帐！";
inline const char *const NoLoanItem = "没有选定借出资产，不可登帐！";
inline const char *const NoRepairItem = "没有选定维修资产，不可登帐！";
inline const char *const NoReturnDate = "没有指定归还日期，不可登帐！";
inline const char *const NoCompletionDate = "没有指定取回日期，不可登帐！";
// Our own refusals where the register has changed since the window read it.
inline const char *const BillMissing = "单据不存在（可能已被其他用户删除），不可登帐！";
inline const char *const ItemMissing = "物品在台帐中已不存在，不可登帐！";
inline const char *const NoWriteOffDate = "没有指定销账日期，不可登帐！";
// These follow "物品" and the item's code.
inline const char *const ItemNotInUse = "已借出、在维修或已销账，不可登帐！";
inline const char *const ItemNotLent = "不在借出状态，不可登帐！";
inline const char *const ItemNotUnderRepair = "不在维修状态，不可登帐！";
} // namespace TallyMessages
