#pragma once

class ChildWindowRegistry;

// Plugs the real windows into the registry: one line per window class that
// exists (see childwindowregistry.h). Entries not listed open a placeholder.
void plugChildWindows(ChildWindowRegistry &registry);
