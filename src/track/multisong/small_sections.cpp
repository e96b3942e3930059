#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/text.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track::multisong {

// Reverb and snapshot values use shortest decimal text (so -0 reads "-0");
// subtitle times use number text.

void serialize_reverb(const ReverbPreset& preset, std::string& out) {
  out += "room_size ";
  serialize::append_shortest(out, preset.room_size);
  out += "\ndecay ";
  serialize::append_shortest(out, preset.decay);
  out += "\nmix ";
  serialize::append_shortest(out, preset.mix);
  out += "\npredelay ";
  serialize::append_shortest(out, preset.predelay);
  out += '\n';
}

void serialize_motif(const Motif& motif, std::string& out) {
  // Motif notes keep their stored order; only layer notes are sorted.
  for (const auto& note : motif.notes) {
    serialize::append_motif_note_line(out, note);
    out += '\n';
  }
}

void serialize_snapshot(const Snapshot& snapshot, std::string& out) {
  for (const auto& [name, value] : snapshot.values) {
    out += name;
    out += ' ';
    serialize::append_shortest(out, value);
    out += '\n';
  }
}

void serialize_subtitle_track(const SubtitleTrack& track, std::string& out) {
  for (const auto& subtitle : track.subtitles) serialize::write_subtitle_line(out, subtitle);
}

}  // namespace tracksmith::track::multisong