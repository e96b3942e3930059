#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"

namespace tracksmith::track::multisong {

void serialize(const TrackSections& sections, std::string& out, const header_format::Drain& drain,
               std::span<const std::optional<std::string>> layer_bodies) {
  header_format::serialize(sections.songs, out, drain);
  header_format::serialize(sections.layers, out, drain, layer_bodies);
  header_format::serialize(sections.sounds, out, drain);
  header_format::serialize(sections.tunings, out, drain);
  header_format::serialize(sections.waves, out, drain);
  header_format::serialize(sections.subtitles, out, drain);
  header_format::serialize(sections.motifs, out, drain);
  header_format::serialize(sections.snapshots, out, drain);
  header_format::serialize(sections.reverb, out, drain);
}

}  // namespace tracksmith::track::multisong