#pragma once
// Front header of the track document model and its text writer: the song
// model, the typed sections, the document container, the line writers and
// the number texts. Build a TrackDocument in memory and write it with
// header_format::write_document.

#include "header_format/document.hpp"
#include "header_format/meta/meta.hpp"
#include "song/note/layer.hpp"
#include "song/note/note.hpp"
#include "song/sound/sound.hpp"
#include "song/tuning.hpp"
#include "track/multisong/song.hpp"
#include "track/multisong/track_sections.hpp"
#include "track/serialize/number_text.hpp"
#include "track/serialize/writers.hpp"
