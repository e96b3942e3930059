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

namespace tracksmith::track {

enum class Comparison : std::uint8_t { Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };

namespace subject {
struct Param { std::string name; };
struct Plays {};
struct Random {};
}  // namespace subject

using ConditionSubject = std::variant<subject::Param, subject::Plays, subject::Random>;

struct JumpCondition {
  ConditionSubject subject;
  Comparison comparison = Comparison::Less;
  float value = 0.0f;
};

namespace tempo_change {
struct Ratio { float value = 1.0f; };
struct Absolute { float value = 0.0f; };
}  // namespace tempo_change

using TempoChange = std::variant<tempo_change::Ratio, tempo_change::Absolute>;

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
struct MarkerName { std::string name; };
struct Time { float time = 0.0f; };
}  // namespace position

using SongPosition = std::variant<position::MarkerName, position::Time>;

struct JumpAt {
  Jump jump;
  SongPosition at;
};

struct Marker {
  std::string name;
  float time = 0.0f;
};

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

struct Motif {
  std::vector<song::Note> notes;
};

struct Snapshot {
  std::map<std::string, float> values;
};

struct SubtitleTrack {
  std::vector<song::Subtitle> subtitles;
};

struct ReverbPreset {
  float room_size = 0.0f;
  float decay = 0.0f;
  float mix = 0.0f;
  float predelay = 0.0f;
};

}  // namespace tracksmith::track