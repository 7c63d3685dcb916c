// Stand-in until the tick engine lands: ticks pass without notes.
#include "music/music.h"

TrackChannel channels[MAX_CHANNELS];

void play_tick(Song*) {}
