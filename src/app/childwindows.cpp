#include "app/childwindows.h"
#include "app/childwindowregistry.h"

// One line per finished window, for example:
//     registry.plug<DeptEditForm>(QStringLiteral("m_dept"));
// "m_Archives" and "m_AssetArchives" share the ledger window: plug it once.
void plugChildWindows(ChildWindowRegistry &registry)
{
    Q_UNUSED(registry);
}
