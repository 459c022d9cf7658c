// The library's only exports.
#include <new>

#include "SpherePlayer.h"
#include "sphere_player_impl.h"

extern "C" DOR_SPHERE_PLAYER_API DOR_SpherePlayer* CreateSpherePlayer() {
    try {
        return new sphere_player::DOR_SpherePlayerImpl();
    } catch (...) {
        return nullptr;
    }
}

extern "C" DOR_SPHERE_PLAYER_API int DestroySpherePlayer(DOR_SpherePlayer* player) {
    delete player;
    return DOR_PLAYER_OK;
}
