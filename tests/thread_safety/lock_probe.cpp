// Compiled by the thread-safety round (scripts/thread-safety.sh), never
// run: proves that clang's analysis is on and sees the player's lock
// annotations. As it is, it takes the view mutex and then the playback
// flags' mutex, in the library's lock order, and touches a guarded field
// with its lock held: it must compile. With KVP_PROBE_WRONG_ORDER it takes
// the two mutexes the other way round, with KVP_PROBE_UNGUARDED it writes
// the guarded field without its lock: each must fail to compile.
#include "video_state.h"

namespace sphere_player {

void lock_probe(video_state& vs) {
#if defined(KVP_PROBE_WRONG_ORDER)
    platform::MutexLock flags(vs.flags.mutex);
    platform::MutexLock view(vs.view.mutex);
#elif defined(KVP_PROBE_UNGUARDED)
    vs.view.record.mouse_x = 1;
#else
    platform::MutexLock view(vs.view.mutex);
    vs.view.record.mouse_x = 1;
    platform::MutexLock flags(vs.flags.mutex);
#endif
}

}  // namespace sphere_player
