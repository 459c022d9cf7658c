// The open and add dialogs: the system's file chooser for recordings (MP4
// and TS, any case), answered through a callback so that the main loop
// goes on while the dialog is open.
//
// Thread-safety: UI thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

// Calls `chosen` with the chosen files (one, or several with `multiple`);
// a cancelled dialog calls it with none.
void choose_recordings(GtkWindow* parent, bool multiple,
                       std::function<void(const std::vector<std::string>&)> chosen);
