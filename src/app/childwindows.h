#pragma once

class ChildWindowRegistry;
class QWidget;

// Plugs the real windows into the registry: one line per window class that
// exists (see childwindowregistry.h). Entries not listed open a placeholder.
void plugChildWindows(ChildWindowRegistry &registry);

// "台帐管理" on the ledger window: true when `w` is the real ledger window
// and was switched by its own setManagementMode().
bool switchLedgerToManagementMode(QWidget *w);
