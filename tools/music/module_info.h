// What brindlec-music --info prints: a short summary of a module as
// module players give it, and the full dump of what the loader read.
#ifndef BRINDLEC_TOOLS_MUSIC_MODULE_INFO_H
#define BRINDLEC_TOOLS_MUSIC_MODULE_INFO_H

#include <cstdint>
#include <string>

#include "music/music.h"

// A time as minutes, seconds and milliseconds: "04:01.800" (minutes go on
// past 99). `frames` at `rate` frames per second, rounded to the nearest
// millisecond.
std::string format_duration(uint64_t frames, int rate);

// A text field of the module made safe for a terminal: bytes outside
// printable ASCII shown as '.', trailing blanks dropped.
std::string printable(const char* text);

// Title, type, tracker, duration, channels, orders, patterns, instruments
// and samples, then the names of the instruments that have samples. `pass`
// is the song's first pass at `rate`; `note` what the loader noted of the
// file ("" for nothing).
std::string module_summary(const Song* song, const SongPass& pass, int rate, const std::string& note);

// Every header field, the order table, each pattern's rows, notes and
// effects, and each instrument with its samples.
std::string module_dump(const Song* song);

#endif
