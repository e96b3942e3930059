#pragma once
// The nine typed sections of a track document, in their fixed output order,
// and the Section implementations (section names and entry bodies) of every
// entry type.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tracksmith/header_format/document.hpp"
#include "tracksmith/song/note/layer.hpp"
#include "tracksmith/song/sound/sound.hpp"
#include "tracksmith/song/tuning.hpp"
#include "tracksmith/track/multisong/song.hpp"

namespace tracksmith::track::multisong {

/// The nine typed sections of a track document, in written order.
struct TrackSections {
  header_format::SectionList<Song> songs;
  header_format::SectionList<song::Layer> layers;
  header_format::SectionList<song::Sound> sounds;
  header_format::SectionList<song::Tuning> tunings;
  header_format::SectionList<song::Wave> waves;
  header_format::SectionList<SubtitleTrack> subtitles;
  header_format::SectionList<Motif> motifs;
  header_format::SectionList<Snapshot> snapshots;
  header_format::SectionList<ReverbPreset> reverb;
};

/// Writes the nine sections in the order Songs, Layers, Sounds, Tunings,
/// Waves, Subtitles, Motifs, Snapshots, Reverb; empty ones leave no trace.
/// `layer_bodies` may hold layer bodies written ahead, entry by entry (as
/// the import's MidiImport::layer_bodies).
void serialize(const TrackSections& sections, std::string& out, const header_format::Drain& drain = {},
               std::span<const std::optional<std::string>> layer_bodies = {});

/// A whole track document: imports, meta header and the sections.
using TrackDocument = header_format::Document<TrackSections>;

// Entry bodies; each appends complete lines ending in "\n".
void serialize_song(const Song& song, std::string& out);
/// Appends the optional clauses of a jump: offset, tempo, via, condition.
void append_jump_clauses(std::string& text, const Jump& jump);
/// The marker name, or the time as shortest decimal text.
std::string position_text(const SongPosition& position);
/// The entry bodies of each section, as written under their "## " headings.
void serialize_layer(const song::Layer& layer, std::string& out);
/// serialize_layer() offering `drain` the finished text every few thousand
/// notes, so that a long layer is never whole as text.
void serialize_layer(const song::Layer& layer, std::string& out, const header_format::Drain& drain);
void serialize_sound(const song::Sound& sound, std::string& out);
void serialize_tuning(const song::Tuning& tuning, std::string& out);
void serialize_wave(const song::Wave& wave, std::string& out);
void serialize_subtitle_track(const SubtitleTrack& track, std::string& out);
void serialize_motif(const Motif& motif, std::string& out);
void serialize_snapshot(const Snapshot& snapshot, std::string& out);
void serialize_reverb(const ReverbPreset& preset, std::string& out);

}  // namespace tracksmith::track::multisong
namespace tracksmith::header_format {

#define TRACKSMITH_SECTION(Type, Name, Body)                                           \
  template <>                                                                          \
  struct Section<Type> {                                                               \
    static constexpr std::string_view SECTION_NAME = Name;                             \
    static void serialize(const Type& value, std::string& out) { Body(value, out); }   \
  };

TRACKSMITH_SECTION(track::multisong::Song, "Songs", track::multisong::serialize_song)
template <>
struct Section<song::Layer> {
  static constexpr std::string_view SECTION_NAME = "Layers";
  static void serialize(const song::Layer& value, std::string& out, const Drain& drain) {
    track::multisong::serialize_layer(value, out, drain);
  }
};
TRACKSMITH_SECTION(song::Sound, "Sounds", track::multisong::serialize_sound)
TRACKSMITH_SECTION(song::Tuning, "Tunings", track::multisong::serialize_tuning)
TRACKSMITH_SECTION(song::Wave, "Waves", track::multisong::serialize_wave)
TRACKSMITH_SECTION(track::multisong::SubtitleTrack, "Subtitles", track::multisong::serialize_subtitle_track)
TRACKSMITH_SECTION(track::multisong::Motif, "Motifs", track::multisong::serialize_motif)
TRACKSMITH_SECTION(track::multisong::Snapshot, "Snapshots", track::multisong::serialize_snapshot)
TRACKSMITH_SECTION(track::multisong::ReverbPreset, "Reverb", track::multisong::serialize_reverb)

#undef TRACKSMITH_SECTION

}  // namespace tracksmith::header_format