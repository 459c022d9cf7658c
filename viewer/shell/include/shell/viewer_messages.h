// The message numbers the main window handles: those the player library
// posts to the parent of its video window (SpherePlayerMessages.h) and the
// viewer's own, posted by its controller and its controls.
#pragma once

#include "SpherePlayerMessages.h"

namespace shell {

enum ViewerMessage : unsigned {
    kMsgFileOpened = 1025,   // the controller's play thread has started playback
    kMsgProgress = 1026,     // refresh the time label and the seek slider
    kMsgEndOfFile = 1027,    // playback ended on its own
    kMsgPlayCurrent = 1124,  // start playing the current file
    kMsgDropFile = WM_PLAYER_DROPFILE,
    kMsgSeekPreview = 1127,  // the seek slider is dragged; lParam: its value
    kMsgNextFile = 1129,     // go on with the next file of the play mode
    kMsgDoubleClick = WM_PLAYER_DBLCLICK,
    kMsgPosition = WM_PLAYER_POSITION,
    kMsgMouse = WM_PLAYER_MOUSE,
    kMsgApplyView = 1324,  // re-apply the current view after a resize
};

// "1225 position" and the like, for debug lines; "" for other numbers.
const char* viewer_message_name(unsigned message);

}  // namespace shell
