// The tray icon, its tooltip and its menu, kept in step with the store.
#pragma once

// Rebuilds, removes or leaves the icon as the stored state asks; cheap when
// nothing changed.
void ShowOrUpdateIcon();
