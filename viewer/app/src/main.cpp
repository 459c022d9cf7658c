// KVP: the viewer program. `KVP [FILE|FOLDER]...` adds the recordings named
// (and those in the folders) to the playlist and plays the first.
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "playback_wiring.h"
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
    const std::vector<std::string> files(argv + 1, argv + argc);
    ViewerShell shell;
    std::unique_ptr<PlaybackWiring> playback;
    shell.on_started = [&] {
        playback = std::make_unique<PlaybackWiring>(shell);
        if (!files.empty() && !playback->open_paths(files)) {
            g_printerr("KVP: no MP4 or TS recording among the files named\n");
        }
    };
    // The player stops and lets its video window go before the window goes.
    shell.on_shutdown = [&] { playback.reset(); };
    return shell.run();
}
