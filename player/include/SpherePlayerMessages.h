// The messages libSpherePlayer.so posts to its host: the parent of the
// native window handed to SetNativeWindow. Nothing is posted for a window
// the player made itself. Each message is queued for the host's own thread
// and carries two parameters, wParam (an unsigned pointer-sized integer)
// and lParam (a signed one).
//
// Plain C constants: the header compiles as C and as C++.
#ifndef SPHERE_PLAYER_MESSAGES_H
#define SPHERE_PLAYER_MESSAGES_H

enum {
    // A file was dropped on the video. wParam: the address of the player's
    // dropped-file buffer, a NUL-terminated UTF-8 path, overwritten by the
    // next drop and freed with the player; lParam: 0.
    WM_PLAYER_DROPFILE = 1125,
    // A double click with any mouse button. wParam, lParam: 0.
    WM_PLAYER_DBLCLICK = 1224,
    // The playing position, on every fifth picture shown and after every
    // frame step. wParam: the position in whole seconds; lParam: the
    // position in milliseconds, its low 32 bits.
    WM_PLAYER_POSITION = 1225,
    // A mouse button was released or the wheel turned; also posted just
    // before WM_PLAYER_DBLCLICK. wParam, lParam: 0.
    WM_PLAYER_MOUSE = 1226
};

#endif  // SPHERE_PLAYER_MESSAGES_H
