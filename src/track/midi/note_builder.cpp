// Note building: one finished MIDI note becomes a model note with its sound,
// beat timing, pitch, two-decimal volume and its pitch trajectory: where the
// wheel stood at the note-on, then the bends inside it.

#include <array>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tracksmith/common/small_buffer.hpp"
#include "tracksmith/song/note/note.hpp"
#include "detail/note_parts.hpp"
#include "tracksmith/track/midi/import.hpp"

namespace tracksmith::track::midi {
namespace {

constexpr std::uint8_t DRUM_CHANNEL = 9;
// A sixteenth of a beat: the shortest melodic note, so zero-length notes stay audible.
constexpr float MIN_LENGTH = 0.0625f;
constexpr float DRUM_LENGTH = 0.25f;
constexpr std::size_t kStackCurvePoints = 16;

// Two decimals of the velocity fraction; std::round rounds halves away from zero.
float compute_volume(unsigned velocity) {
  const float fraction = static_cast<float>(velocity) / 127.0f;
  return std::round(fraction * 100.0f) / 100.0f;
}

// Every velocity's volume, computed once: a note then takes a look-up
// instead of a division, a rounding call and another division.
const std::array<float, 256> VOLUMES = [] {
  std::array<float, 256> volumes{};
  for (unsigned v = 0; v < volumes.size(); ++v) volumes[v] = compute_volume(v);
  return volumes;
}();

float volume_of(std::uint8_t velocity) { return VOLUMES[velocity]; }

}  // namespace

song::Note build_note(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity,
                      std::uint32_t start_tick, std::uint32_t end_tick, float ticks_per_beat,
                      std::uint8_t program, const std::optional<std::string>& track_name,
                      std::span<const Bend> bends, float start_bend) {
  song::Note note;
  // choose_sound answers with a view into the instrument tables, which live
  // for the whole run.
  detail::fill_note(note,
                    common::CompactText::borrow_static(choose_sound(channel, key, track_name, program)),
                    channel, key, velocity, start_tick, end_tick, ticks_per_beat, bends, start_bend);
  return note;
}

namespace detail {

void fill_note(song::Note& note, const common::CompactText& sound, std::uint8_t channel,
               std::uint8_t key, std::uint8_t velocity, std::uint32_t start_tick,
               std::uint32_t end_tick, float ticks_per_beat, std::span<const Bend> bends,
               float start_bend) {
  const bool drum = channel == DRUM_CHANNEL;
  const std::uint32_t ticks = end_tick < start_tick ? 0u : end_tick - start_tick;

  float length = static_cast<float>(ticks) / ticks_per_beat;
  // The negated comparison also catches NaN (0 ticks over 0 ticks per beat).
  if (!(length >= MIN_LENGTH)) length = MIN_LENGTH;
  if (drum) length = DRUM_LENGTH;

  note.sound = sound;
  note.start = static_cast<float>(start_tick) / ticks_per_beat;
  note.pitch = drum ? 0.0f : static_cast<float>(static_cast<int>(key) - 69);
  note.volume = volume_of(velocity);
  note.final_segment = song::NoteSegment{0.0f, length, true, true};
  if (drum) return;

  if (bends.empty() && start_bend == 0.0f) return;

  // Bend times are fractions of the unclamped tick length, so a very short
  // note keeps the relative placement of its bends after its length is raised.
  const float span_ticks = ticks == 0 ? 1.0f : static_cast<float>(ticks);
  // The points stay on the stack unless the note holds many bends; the
  // first place is kept for the point where the wheel stood at the note-on.
  // A list per note instead took the 27 MB file generated with --bends
  // 1.280 s of CPU instead of 1.226 s (medians of 9 alternating runs, one
  // thread), 10.27 billion instructions instead of 9.60 billion.
  common::SmallBuffer<song::WavePoint, kStackCurvePoints> room(bends.size() + 1);
  const std::span<song::WavePoint> all = room.values();
  std::size_t count = 1;
  bool bent_at_start = false;
  for (const Bend& bend : bends) {
    if (bend.tick < start_tick || bend.tick >= end_tick) continue;
    bent_at_start |= bend.tick == start_tick;
    float time = static_cast<float>(bend.tick - start_tick) / span_ticks;
    if (time < 0.0f) time = 0.0f;
    if (time > 1.0f) time = 1.0f;
    all[count++] = song::WavePoint{time, bend.semitones, false, false};
  }
  std::span<const song::WavePoint> points = all.subspan(1, count - 1);
  // A note struck while the wheel is off centre starts where the wheel
  // stands, unless a bend at its first tick sets the start itself.
  if (start_bend != 0.0f && !bent_at_start) {
    all[0] = song::WavePoint{0.0f, start_bend, false, false};
    points = all.first(count);
  }
  if (points.empty()) return;

  song::Trajectory trajectory = song::trajectory_from_curve(points, length);
  note.segments = std::move(trajectory.segments);
  note.final_segment = trajectory.final_segment;
}

}  // namespace detail

}  // namespace tracksmith::track::midi