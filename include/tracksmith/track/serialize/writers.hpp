#pragma once
// Line writers of the track text: notes, note overrides, curve points,
// placements, layer directives, sounds and subtitle lines.
// The format_* functions return one line (or fragment) without its line end;
// the append_*/write_* functions append to a text being built.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracksmith/song/note/layer.hpp"
#include "tracksmith/song/note/note.hpp"
#include "tracksmith/song/sound/sound.hpp"

namespace tracksmith::track::serialize {

/// Layer note: "{sound} {start} {pitch} {length}" and its options.
std::string format_note(const song::Note& note);
/// Motif note: "{start} {pitch} {length}" and its options.
std::string format_motif_note(const song::Note& note);

/// Appends a note's options in their fixed order: text, glide, volume,
/// vol-ramp, arpeggio, pitch curve line, volume curve line, repeat.
void append_note_options(std::string& text, std::span<const song::WavePoint> pitch_points,
                         std::span<const song::WavePoint> volume_points,
                         std::string_view note_text, float volume, bool apostrophe,
                         std::span<const float> arpeggio, float arpeggio_rate,
                         std::uint32_t repeat);

/// "{time} {value}{easing}" per point, joined by ", ".
std::string format_curve_points(const std::vector<song::WavePoint>& points);
/// The text of a placement's note override.
std::string format_note_override(const song::NoteOverride& override_);

/// The directive line of a layer, without line end; empty when all default.
std::string layer_directives(const song::Layer& layer);
/// The line of a motif placement, or of a subtrack placement.
std::string format_motif_instance(const song::MotifInstance& instance);
std::string format_subtrack_instance(const song::SubtrackInstance& instance);
/// Appends the line of a motif placement, without line end.
void append_motif_instance(std::string& out, const song::MotifInstance& instance);

/// A sound's whole body, every line ended by "\n"; empty when all neutral.
std::string format_sound(const song::Sound& sound);
/// The line of a sound's envelope stage, or of a modulation.
std::string format_envelope(std::string_view name, const song::Envelope& envelope);
std::string format_modulation(std::string_view name, const song::Modulation& modulation);

/// Appends "{time} {text}\n", or "{time}\n" for an empty text.
void write_subtitle_line(std::string& out, const song::Subtitle& subtitle);

}  // namespace tracksmith::track::serialize