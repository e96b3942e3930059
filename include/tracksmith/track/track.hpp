#pragma once
// Front header of the track document model and its text writer: the song
// model, the typed sections, the document container, the line writers and
// the number texts. Build a TrackDocument in memory and write it with
// header_format::write_document.

#include "tracksmith/header_format/document.hpp"
#include "tracksmith/header_format/meta/meta.hpp"
#include "tracksmith/song/note/layer.hpp"
#include "tracksmith/song/note/note.hpp"
#include "tracksmith/song/sound/sound.hpp"
#include "tracksmith/song/tuning.hpp"
#include "tracksmith/track/multisong/song.hpp"
#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"
