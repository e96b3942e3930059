#pragma once
// Songs and the other section entry types of a track document (motifs,
// snapshots, subtitle tracks, reverb presets). Plain owned values that refer
// to other entries by name only.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tracksmith/song/note/layer.hpp"
#include "tracksmith/song/note/note.hpp"

namespace tracksmith::track::multisong {

/// The comparison of a jump condition.
enum class Comparison : std::uint8_t { Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };

namespace subject {
/// What a jump condition compares: a named parameter's value, the play
/// count, or a random number.
struct Param { std::string name; };
struct Plays {};
struct Random {};
}  // namespace subject

/// One of the subjects above.
using ConditionSubject = std::variant<subject::Param, subject::Plays, subject::Random>;

/// A condition under which a jump is taken.
struct JumpCondition {
  ConditionSubject subject;
  Comparison comparison = Comparison::Less;
  float value = 0.0f;
};

namespace tempo_change {
/// A tempo change at a jump: a ratio to the current tempo, or an absolute tempo.
struct Ratio { float value = 1.0f; };
struct Absolute { float value = 0.0f; };
}  // namespace tempo_change

/// One of the tempo changes above.
using TempoChange = std::variant<tempo_change::Ratio, tempo_change::Absolute>;

/// A jump rule of a song: where to go and on which conditions.
struct Jump {
  std::string target;
  /// The "via" clause: first the via name, then the sound name.
  struct Via {
    std::string via;
    std::string sound;
  };
  std::optional<Via> via;
  std::optional<JumpCondition> condition;
  std::optional<TempoChange> tempo_change;
  float offset = 0.0f;
};

namespace position {
/// A position in a song: a marker's name, or a time in beats.
struct MarkerName { std::string name; };
struct Time { float time = 0.0f; };
}  // namespace position

/// One of the positions above.
using SongPosition = std::variant<position::MarkerName, position::Time>;

/// The jumps that apply at one position of a song.
struct JumpAt {
  Jump jump;
  SongPosition at;
};

/// A named time of a song.
struct Marker {
  std::string name;
  float time = 0.0f;
};

/// An arrangement: the layers it plays, tempo, meter, seed, parameters,
/// length, markers and jumps; an entry of the "# Songs" section.
struct Song {
  std::vector<std::string> layers;
  std::vector<Jump> jumps;
  std::vector<JumpAt> jump_ats;
  std::vector<Marker> markers;
  std::optional<song::ParamScale> tempo_param;
  std::optional<float> length;
  std::optional<std::uint32_t> seed;
  std::uint32_t signature_numerator = 4;
  std::uint32_t signature_denominator = 4;
  std::map<std::string, float> params;  ///< byte-wise ascending names
  float tempo = 120.0f;
  float tempo_ratio = 1.0f;
};

/// A figure written once and placed by layers: an entry of "# Motifs".
struct Motif {
  std::vector<song::Note> notes;
};

/// A mixer snapshot: parameter values by name.
struct Snapshot {
  std::map<std::string, float> values;
};

/// A subtitle track: its subtitles in order.
struct SubtitleTrack {
  std::vector<song::Subtitle> subtitles;
};

/// A reverb preset's four parameters.
struct ReverbPreset {
  float room_size = 0.0f;
  float decay = 0.0f;
  float mix = 0.0f;
  float predelay = 0.0f;
};

}  // namespace tracksmith::track::multisong