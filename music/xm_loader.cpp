// Song data model and XM loader.
#include <cstdlib>
#include <cstring>

#include "music/music.h"

// Shared all-zero records the tick engine falls back to for missing
// instruments and samples; they belong to no song and are never released.
Sample empty_sample = {};
Instrument empty_instrument = {};
