// kvp-export-dialog-run SOURCE OUTPUT QUALITY(L|M|H) LAYOUT(wide|split2|split4)
// Opens the conversion dialog on its own, adds SOURCE, picks the quality
// and the layout, exports to OUTPUT (which must not exist) and prints the
// seconds from the click on "btnStart" to the dialog's end of the export.
// The main loop keeps running meanwhile, and the longest time it spent in
// one go is printed too (how responsive the dialog stayed).
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "convert_dialog.h"

namespace {

using Clock = std::chrono::steady_clock;

bool run_until(const std::function<bool()>& done, int timeout_s, double* longest_gap_ms) {
    const auto end = Clock::now() + std::chrono::seconds(timeout_s);
    auto last = Clock::now();
    while (!done()) {
        if (Clock::now() > end) return false;
        g_main_context_iteration(nullptr, TRUE);
        const auto now = Clock::now();
        if (longest_gap_ms != nullptr) {
            const double gap = std::chrono::duration<double, std::milli>(now - last).count();
            if (gap > *longest_gap_ms) *longest_gap_ms = gap;
        }
        last = now;
    }
    return true;
}

// A heartbeat every 50 ms, so that the main loop wakes up as a busy UI would.
gboolean beat(gpointer) {
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    XInitThreads();
    gdk_set_allowed_backends("x11");
    if (argc != 5 || !gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr,
                     "usage: kvp-export-dialog-run SOURCE OUTPUT L|M|H wide|split2|split4\n");
        return 2;
    }
    const std::string quality = argv[3], layout = argv[4];
    ConvertDialog::Context context;
    const char* dir = std::getenv("KVP_PROGRAM_DIR");
    context.program_dir = dir != nullptr ? dir : ".";
    std::string error;
    auto dialog = ConvertDialog::create(std::move(context), &error);
    if (!dialog) {
        std::fprintf(stderr, "no dialog: %s\n", error.c_str());
        return 1;
    }
    dialog->open_folder = [](const std::string&) {};
    dialog->present();
    dialog->choose_source(argv[1]);
    if (!run_until([&] { return dialog->ready(); }, 60, nullptr)) return 1;
    const int q = quality == "L" ? 0 : quality == "H" ? 2 : 1;
    gtk_combo_box_set_active(GTK_COMBO_BOX(dialog->widget("comboquality")), q);
    const char* option = layout == "wide"     ? "optWide"
                         : layout == "split2" ? "optSlit2"
                                              : "optSlit4";
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dialog->widget(option)), TRUE);
    dialog->choose_output(argv[2]);
    g_timeout_add(50, beat, nullptr);
    const auto start = Clock::now();
    gtk_button_clicked(GTK_BUTTON(dialog->widget("btnStart")));
    double longest_gap_ms = 0;
    if (!run_until([&] { return dialog->exporting(); }, 10, nullptr) ||
        !run_until([&] { return !dialog->exporting(); }, 3600, &longest_gap_ms)) {
        return 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool failed = dialog->messages().empty() || dialog->messages().back().error;
    std::printf("%.3f s, longest main-loop gap %.0f ms%s\n", seconds, longest_gap_ms,
                failed ? " (FAILED)" : "");
    return failed ? 1 : 0;
}
