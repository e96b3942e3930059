#pragma once
// Layers of the song model and the records they hold: motif and subtrack
// placements with their per-note overrides, the effect chain, and the timed
// Subtitle record. Plain owned values; entries refer to each other by name.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tracksmith/song/note/note.hpp"

namespace tracksmith::song {

/// A changed note of a placed motif or subtrack.
struct NoteOverride {
  std::uint64_t note = 0;  ///< index of the note it applies to
  bool skip = false;
  std::optional<float> pitch;
  std::optional<float> start;
  std::optional<float> duration;
  std::optional<float> glide;
  std::optional<float> volume;
  std::optional<std::string> text;
  std::optional<std::vector<WavePoint>> pitch_curve;

  bool operator==(const NoteOverride&) const = default;
};

/// A placement's trim: two integers written as its trim line, whose meaning
/// is the engine's.
using Trim = std::pair<std::uint64_t, std::uint64_t>;

/// A placement of a motif in a layer: which motif, when, with which sound.
struct MotifInstance {
  std::optional<Trim> trim;
  std::string motif;  ///< name of the Motif entry placed
  std::string sound;  ///< sound for the motif's notes; written even when empty
  std::vector<NoteOverride> overrides;
  std::optional<std::string> tuning;
  float start = 0.0f;      ///< beats
  float transpose = 0.0f;  ///< semitones

  bool operator==(const MotifInstance&) const = default;
};

/// A placement of another layer (a subtrack) inside a layer.
struct SubtrackInstance {
  std::optional<Trim> trim;
  std::string subtrack;
  std::vector<NoteOverride> overrides;
  std::optional<std::string> sound;
  std::optional<std::string> tuning;
  float start = 0.0f;
  float transpose = 0.0f;

  bool operator==(const SubtrackInstance&) const = default;
};

namespace effect {
/// The effect kinds of a layer's chain, with their parameters in written order.
struct Lowpass { float p1 = 0; bool operator==(const Lowpass&) const = default; };
struct Highpass { float p1 = 0; bool operator==(const Highpass&) const = default; };
struct LowpassParam { std::string param; float p1 = 0, p2 = 0; bool operator==(const LowpassParam&) const = default; };
struct HighpassParam { std::string param; float p1 = 0, p2 = 0; bool operator==(const HighpassParam&) const = default; };
struct Echo { float p1 = 0, p2 = 0, p3 = 0; bool operator==(const Echo&) const = default; };
struct Tremolo { float p1 = 0, p2 = 0; bool operator==(const Tremolo&) const = default; };
struct Bitcrusher { std::uint8_t bits = 0; bool operator==(const Bitcrusher&) const = default; };
struct Compressor { float p1 = 0, p2 = 0, p3 = 0, p4 = 0; bool operator==(const Compressor&) const = default; };
struct Eq { float p1 = 0, p2 = 0, p3 = 0, p4 = 0; bool operator==(const Eq&) const = default; };
struct DelaySync { float p1 = 0, p2 = 0, p3 = 0; bool operator==(const DelaySync&) const = default; };
struct Reverb { float p1 = 0, p2 = 0, p3 = 0, p4 = 0; bool operator==(const Reverb&) const = default; };
struct ReverbByName { std::string name; bool operator==(const ReverbByName&) const = default; };
}  // namespace effect

/// One entry of a layer's effect chain; the alternative index is the kind number.
using Effect = std::variant<effect::Lowpass, effect::Highpass, effect::LowpassParam,
                            effect::HighpassParam, effect::Echo, effect::Tremolo,
                            effect::Bitcrusher, effect::Compressor, effect::Eq,
                            effect::DelaySync, effect::Reverb, effect::ReverbByName>;

/// A volume or tempo driven by a named parameter, times a scale.
struct ParamScale {
  std::string param;
  float scale = 1.0f;

  bool operator==(const ParamScale&) const = default;
};

/// A layer: notes, placements, effects and mixing, written as one entry
/// of the "# Layers" section.
struct Layer {
  std::string name;  ///< the layer's own name; the written entry name may differ
  std::vector<Note> notes;  ///< in creation order; the writer sorts a view by start
  std::vector<MotifInstance> motif_instances;
  std::vector<SubtrackInstance> subtrack_instances;
  std::vector<Effect> effects;
  std::optional<ParamScale> volume_param;
  std::optional<std::string> tuning;
  std::optional<float> loop;
  float volume = 1.0f;
  float pan = 0.0f;
  float loop_skip = 0.0f;
  float root = 440.0f;
  bool mute = false;
  bool solo = false;
};

/// One timed line of a subtitle track.
struct Subtitle {
  std::string text;
  float time = 0.0f;
};

}  // namespace tracksmith::song