#include "app/childwindows.h"
#include "data/settings.h"
#include "app/childwindowregistry.h"
#include "bills/billwindows.h"
#include "reference/assetledgerwindow.h"
#include "reference/assettypewindow.h"
#include "reference/codetableswindow.h"
#include "reference/deptwindow.h"
#include "reference/staffwindow.h"
#include "reports/engine/itemprints.h"
#include "reports/statwindows.h"
#include "queries/loanquerywindow.h"
#include "queries/assethistorywindow.h"
#include "queries/billquerywindow.h"
#include "queries/personalloanswindow.h"

// One line per finished window (see childwindowregistry.h). "m_Archives"
// and "m_AssetArchives" share the ledger window: plug it once.
void plugChildWindows(ChildWindowRegistry &registry)
{
    registry.plug<DeptWindow>(QStringLiteral("m_dept"));
    registry.plug<StaffWindow>(QStringLiteral("m_Staffer"));
    registry.plug<AssetTypeWindow>(QStringLiteral("m_Assetype"));
    registry.plug<CodeTablesWindow>(QStringLiteral("m_Codes"));
    registry.plug<AcquisitionBillWindow>(QStringLiteral("m_AddAsset"));
    registry.plug<TransferBillWindow>(QStringLiteral("m_Prepare"));
    registry.plug<LoanBillWindow>(QStringLiteral("m_Loan"));
    registry.plug<LoanReturnBillWindow>(QStringLiteral("m_Back"));
    registry.plug<RepairBillWindow>(QStringLiteral("m_Maintain"));
    registry.plug<RepairCompletionBillWindow>(QStringLiteral("m_Retake"));
    registry.plug<WriteOffBillWindow>(QStringLiteral("m_DecAsset"));
    registry.plug<AssetHistoryWindow>(QStringLiteral("m_QArchives"));
    registry.plug<AcquisitionQueryWindow>(QStringLiteral("m_QAddAsset"));
    registry.plug<TransferQueryWindow>(QStringLiteral("m_QPrepare"));
    registry.plug<WriteOffQueryWindow>(QStringLiteral("m_QDecAsset"));
    registry.plug<LoanQueryWindow>(QStringLiteral("m_QLoan"));
    registry.plug<RepairQueryWindow>(QStringLiteral("m_QMaintain"));
    registry.plug<PersonalLoansWindow>(QStringLiteral("m_grloanlist"));
    registry.plug<CategorySummaryWindow>(QStringLiteral("m_QSumy"));
    registry.plug<CategoryListWindow>(QStringLiteral("m_zcfllb"));
    registry.plug<DepartmentListWindow>(QStringLiteral("m_bmzcmxlb"));
    registry.plug<AdditionsListWindow>(QStringLiteral("m_AddList"));
    registry.plug<WriteOffsListWindow>(QStringLiteral("m_decList"));
    registry.plug<MaturedListWindow>(QStringLiteral("m_matureAssetList"));
    registry.plug(
        QStringLiteral("m_AssetArchives"),
        [](QWidget *parent) -> QWidget * {
            auto *ledger = new AssetLedgerWindow(Connection::current(), AssetLedgerWindow::Mode::Initialisation, parent);
            ledger->printCards = [](AssetLedgerWindow &w) { printItemCards(*w.items(), &w, Settings::current().organisationName()); };
            ledger->printLabels = [](AssetLedgerWindow &w) { printItemLabels(*w.items(), &w); };
            return ledger;
        },
        [](QWidget *w) { return static_cast<AssetLedgerWindow *>(w)->queryClose(); });
}

bool switchLedgerToManagementMode(QWidget *w)
{
    auto *ledger = qobject_cast<AssetLedgerWindow *>(w);
    if (!ledger)
        return false;
    ledger->setManagementMode();
    return true;
}
