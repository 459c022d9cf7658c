// KVP: the viewer program. Command-line arguments other than GTK's own are
// ignored for now.
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include "viewer_shell.h"

int main(int argc, char** argv) {
    // The player draws into our window from its own X connection and
    // threads: Xlib must be thread-safe before anything else touches X.
    XInitThreads();
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        g_printerr("KVP: cannot open the display\n");
        return 1;
    }
    ViewerShell shell;
    return shell.run();
}
