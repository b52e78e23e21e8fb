#include "app/childwindows.h"
#include "app/childwindowregistry.h"
#include "reference/assettypewindow.h"
#include "reference/codetableswindow.h"
#include "reference/deptwindow.h"
#include "reference/staffwindow.h"

// One line per finished window (see childwindowregistry.h). "m_Archives"
// and "m_AssetArchives" share the ledger window: plug it once.
void plugChildWindows(ChildWindowRegistry &registry)
{
    registry.plug<DeptWindow>(QStringLiteral("m_dept"));
    registry.plug<StaffWindow>(QStringLiteral("m_Staffer"));
    registry.plug<AssetTypeWindow>(QStringLiteral("m_Assetype"));
    registry.plug<CodeTablesWindow>(QStringLiteral("m_Codes"));
}
