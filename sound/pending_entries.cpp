// Sound entries that the message pump, the window procedure and shutdown call, in their least form until the
// stream sounds and music handles are built: there is no stream to refill and no music to serve or stop.
// Each function leaves this file when its module implements it.
#include "sound/stream_sound.h"

int RefillAllStreamBuffers() { return 0; }
int ServiceMusicPlayback() { return 0; }
int StopCurrentMusic() { return 0; }
int OnMciNotify(WPARAM, LPARAM) { return 0; }
