// The playlist panel: the "treePlaylist" rows of the playlist model, the
// add and delete buttons, the play-mode menu, and the choice of the entry
// to play next. Every change is kept in the shell's settings at once, so
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

private:
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
};
