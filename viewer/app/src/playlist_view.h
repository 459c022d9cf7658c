// The playlist panel: the "treePlaylist" rows of the playlist model, the
// add and delete buttons, the play-mode menu, a row's context menu (export
// the trip the recording belongs to), and the choice of the entry to play
// next. Every change is kept in the shell's settings at once, so
// that closing the window saves what the user sees.
//
// Thread-safety: UI thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "layouts.h"
#include "playlist/playlist_model.h"

class ViewerShell;

class PlaylistView {
public:
    // `play` starts an entry (the row the user activated).
    PlaylistView(ViewerShell& shell, std::function<void(const std::string&)> play);
    ~PlaylistView();
    PlaylistView(const PlaylistView&) = delete;
    PlaylistView& operator=(const PlaylistView&) = delete;

    const playlist::PlaylistModel& model() const { return model_; }
    // Adds recordings (others and entries already there are skipped).
    void add(const std::vector<std::string>& paths);
    // Removes a recording that cannot be played.
    void remove(const std::string& path);
    // The entry to play going `direction` by the play mode, selected.
    std::optional<std::string> choose(playlist::Direction direction);
    // The file plays: it becomes the last played entry.
    void played(const std::string& path);
    void set_play_mode(int mode);
    // The play-mode menu (null until first opened).
    LayoutSet* menu() const { return menu_.get(); }
    void open_menu();
    // The context menu of a row (null until first opened). Its item
    // "menuExportTrip" is enabled once the row's folder has been scanned
    // and the recording belongs to a trip of two or more files.
    LayoutSet* row_menu() const { return row_menu_.get(); }
    // What the scan found for the menu's recording: its trip's files, or
    // the recording alone; empty until the scan has ended.
    const std::vector<std::string>& row_trip() const { return row_trip_; }

private:
    struct TripLookup;
    bool on_button_press(GdkEventButton* event);
    void open_row_menu(int row, const GdkEvent* event);
    bool build_row_menu();
    void on_trip_found(const std::string& path, std::vector<std::string> files);
    void export_trip();
    void on_activate();
    void delete_selected();
    void delete_all();
    int selected_row() const;
    void show();
    void store();

    ViewerShell& shell_;
    std::function<void(const std::string&)> play_;
    playlist::PlaylistModel model_;
    std::unique_ptr<LayoutSet> menu_;
    std::unique_ptr<LayoutSet> row_menu_;
    std::string row_path_;               // the recording of the open row menu
    std::vector<std::string> row_trip_;  // its trip, once scanned
    // The folder scans hold this weakly: a scan that ends after the view is
    // gone reports to nobody.
    std::shared_ptr<PlaylistView*> self_ = std::make_shared<PlaylistView*>(this);
};
