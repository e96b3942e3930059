#include <algorithm>
#include <cstring>
#include <string_view>
#include <string>

#include "tracksmith/common/small_buffer.hpp"
#include "tracksmith/track/serialize/text.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track::serialize {
namespace {

// The two-point curve from (0, base) to (1 within tolerance, anything):
// glides and volume ramps are written as options instead of curve lines.
bool is_simple_ramp(std::span<const song::WavePoint> points, float base) {
  return points.size() == 2 && points[0].time == 0.0f && points[0].value == base &&
         near_one_strict(points[1].time);
}

// Each point is put together in a local buffer and appended at once.
void append_points(std::string& text, std::span<const song::WavePoint> points) {
  constexpr std::size_t kLongestSuffix = 9;  // " ease-out"
  char piece[2 + 2 * kMaxNumberText + 1 + kLongestSuffix];
  bool first = true;
  for (const auto& point : points) {
    char* p = piece;
    if (!first) {
      *p++ = ',';
      *p++ = ' ';
    }
    first = false;
    p = write_number(p, point.time);
    *p++ = ' ';
    p = write_number(p, point.value);
    // std::copy, since an empty suffix has no characters to point at.
    const std::string_view suffix = song::easing_suffix(point.ease_in, point.ease_out);
    p = std::copy(suffix.begin(), suffix.end(), p);
    text.append(piece, static_cast<std::size_t>(p - piece));
  }
}

// Writes number text, through the memo where the caller has one: the lengths
// and volumes of a layer repeat a few values.
struct Numbers {
  NumberTextMemo* memo = nullptr;
  void operator()(std::string& text, float value) const {
    if (memo) {
      memo->append_number(text, value);
    } else {
      append_number(text, value);
    }
  }
  char* write(char* p, float value) const { return memo ? memo->write_number(p, value) : write_number(p, value); }
};

void append_options(std::string& text, std::span<const song::WavePoint> pitch_points,
                    std::span<const song::WavePoint> volume_points, std::string_view note_text,
                    float volume, bool apostrophe, std::span<const float> arpeggio,
                    float arpeggio_rate, std::uint32_t repeat, Numbers numbers) {
  if (apostrophe || !note_text.empty()) {
    text += " \"";
    if (apostrophe) text += '\'';
    text += note_text;
    text += '"';
  }
  const bool pitch_ramp = is_simple_ramp(pitch_points, 0.0f);
  // A ramp to 0 is no movement at all and writes nothing; NaN is a glide.
  if (pitch_ramp && !(pitch_points[1].value == 0.0f)) {
    text += " glide ";
    append_number(text, pitch_points[1].value);
    text += song::easing_suffix(pitch_points[0].ease_in, pitch_points[0].ease_out);
  }
  // A NaN volume fails the comparison and is left out like a volume of 1.
  if (beyond_one(volume)) {
    text += " volume ";
    numbers(text, volume);
  }
  const bool volume_ramp = is_simple_ramp(volume_points, 1.0f);
  if (volume_ramp && !(volume_points[1].value == 1.0f)) {
    text += " vol-ramp ";
    append_number(text, volume_points[1].value);
    text += song::easing_suffix(volume_points[0].ease_in, volume_points[0].ease_out);
  }
  if (!arpeggio.empty()) {
    text += " arpeggio ";
    append_number_list(text, arpeggio);
    text += " rate ";
    append_number(text, arpeggio_rate);
  }
  if (!pitch_points.empty() && !pitch_ramp) {
    text += "\n  pitch ";
    append_points(text, pitch_points);
  }
  if (!volume_points.empty() && !volume_ramp) {
    text += "\n  volume ";
    append_points(text, volume_points);
  }
  if (repeat >= 2) {
    text += " repeat ";
    append_unsigned(text, repeat);
  }
}

constexpr std::size_t kStackCurvePoints = 16;

void append_note_body(std::string& text, const song::Note& note, Numbers numbers) {
  append_number(text, note.start);
  text += ' ';
  append_number(text, note.pitch);
  text += ' ';
  numbers(text, note.length());
  // The pitch curve's points stay on the stack unless the note has many
  // segments, and each point is written into a local buffer (see
  // append_points). With a list per note and an append per piece of text,
  // the 27 MB file generated with --bends took 1.366 s of CPU instead of
  // 1.226 s (medians of 9 alternating runs, one thread), 11.07 billion
  // instructions instead of 9.60 billion.
  common::SmallBuffer<song::WavePoint, kStackCurvePoints> room(note.segments.size() + 2);
  const std::span<const song::WavePoint> pitch_points =
      room.values().first(note.pitch_curve_into(room.values()));
  append_options(text, pitch_points, note.volume_curve, note.text, note.volume,
                 note.text_apostrophe, note.arpeggio, note.arpeggio_rate,
                 std::max(note.repeat, note.repeat_alt), numbers);
}

void append_optional(std::string& text, const char* word, const std::optional<float>& value) {
  if (!value) return;
  text += ' ';
  text += word;
  text += ' ';
  append_number(text, *value);
}

// Most notes of an imported file have no options but a volume: no pitch
// movement, no curves, text, arpeggio or repeat. Their lines are assembled in
// a local buffer and appended at once.
constexpr std::size_t kPlainSoundMax = 64;

bool is_plain(const song::Note& note) {
  // Through the note's one list of fields: a field added to it does not
  // compile here until this test has decided what it means for a plain line.
  // The volume and the length are written by the plain line itself; the
  // arpeggio rate and the final segment's easing show only with an arpeggio
  // or a pitch curve.
  [[maybe_unused]] const auto& [sound, text, segments, volume_curve, arpeggio, volume,
                                arpeggio_rate, repeat, repeat_alt, final_segment, apostrophe] =
      note.shape();
  return segments.empty() && final_segment.pitch_delta == 0.0f && volume_curve.empty() &&
         text.empty() && !apostrophe && arpeggio.empty() && std::max(repeat, repeat_alt) < 2 &&
         sound.size() <= kPlainSoundMax;
}

// A motif's note line is the same without the sound.
void append_plain_note_line(std::string& out, const song::Note& note, Numbers numbers, bool line_end,
                            bool with_sound = true) {
  constexpr std::string_view kVolume = " volume ";
  char line[kPlainSoundMax + 4 + kVolume.size() + 4 * kMaxNumberText];
  char* p = line;
  if (with_sound) {
    std::memcpy(p, note.sound.data(), note.sound.size());
    p += note.sound.size();
    *p++ = ' ';
  }
  p = write_number(p, note.start);
  *p++ = ' ';
  p = write_number(p, note.pitch);
  *p++ = ' ';
  // Without segments the length is the final segment's duration.
  p = numbers.write(p, note.final_segment.duration);
  // A NaN volume fails the comparison and is left out like a volume of 1.
  if (beyond_one(note.volume)) {
    std::memcpy(p, kVolume.data(), kVolume.size());
    p = numbers.write(p + kVolume.size(), note.volume);
  }
  if (line_end) *p++ = '\n';
  out.append(line, static_cast<std::size_t>(p - line));
}

}  // namespace

void append_note_line(std::string& out, const song::Note& note, NumberTextMemo* memo, bool line_end) {
  if (is_plain(note)) {
    append_plain_note_line(out, note, Numbers{memo}, line_end);
    return;
  }
  out += note.sound;
  out += ' ';
  append_note_body(out, note, Numbers{memo});
  if (line_end) out += '\n';
}

void append_motif_note_line(std::string& out, const song::Note& note, NumberTextMemo* memo) {
  // Through the plain line where it serves: on the motif-8 crafted file
  // (21,977 motifs of 4 notes) the general path took 0.202 s of CPU
  // instead of 0.194 s (medians of 15 alternating runs), 496 million
  // instructions instead of 467 million (one thread).
  if (is_plain(note)) {
    append_plain_note_line(out, note, Numbers{memo}, false, false);
    return;
  }
  append_note_body(out, note, Numbers{memo});
}

std::string format_note(const song::Note& note) {
  std::string text;
  append_note_line(text, note);
  return text;
}

std::string format_motif_note(const song::Note& note) {
  std::string text;
  append_motif_note_line(text, note);
  return text;
}

void append_note_options(std::string& text, std::span<const song::WavePoint> pitch_points,
                         std::span<const song::WavePoint> volume_points,
                         std::string_view note_text, float volume, bool apostrophe,
                         std::span<const float> arpeggio, float arpeggio_rate,
                         std::uint32_t repeat) {
  append_options(text, pitch_points, volume_points, note_text, volume, apostrophe, arpeggio,
                 arpeggio_rate, repeat, Numbers{});
}

std::string format_curve_points(const std::vector<song::WavePoint>& points) {
  std::string text;
  append_points(text, points);
  return text;
}

std::string format_note_override(const song::NoteOverride& override_) {
  std::string text = "note ";
  append_unsigned(text, override_.note);
  if (override_.skip) text += " skip";
  append_optional(text, "pitch", override_.pitch);
  append_optional(text, "start", override_.start);
  append_optional(text, "duration", override_.duration);
  append_optional(text, "glide", override_.glide);
  append_optional(text, "volume", override_.volume);
  if (override_.text) {
    text += " text \"";
    text += *override_.text;
    text += '"';
  }
  if (override_.pitch_curve) {
    text += " pitch-curve ";
    append_points(text, *override_.pitch_curve);
  }
  return text;
}

}  // namespace tracksmith::track::serialize