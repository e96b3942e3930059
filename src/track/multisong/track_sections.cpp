#include <string>

#include "track/multisong/track_sections.hpp"

namespace track {

void serialize(const TrackSections& sections, std::string& out) {
  header_format::serialize(sections.songs, out);
  header_format::serialize(sections.layers, out);
  header_format::serialize(sections.sounds, out);
  header_format::serialize(sections.tunings, out);
  header_format::serialize(sections.waves, out);
  header_format::serialize(sections.subtitles, out);
  header_format::serialize(sections.motifs, out);
  header_format::serialize(sections.snapshots, out);
  header_format::serialize(sections.reverb, out);
}

}  // namespace track
