#pragma once
// Deterministic generator of large Standard MIDI Files for benchmarks and
// fuzz seeds: tracks of random melodic lines with optional repeated figures,
// pitch bends and sustain pedal, identical for identical options on every
// platform (its own random number generator, no library distributions).

#include <cstdint>
#include <vector>

namespace tracksmith::bench {

struct GeneratorOptions {
  std::uint16_t tracks = 16;
  std::uint32_t notes_per_track = 1000;
  /// Share (0..1) of figures that repeat an earlier figure of the track, transposed.
  double repeat_share = 0.3;
  bool bends = false;    ///< pitch bend slides inside some notes
  bool sustain = false;  ///< sustain pedal down and up once a bar
  std::uint64_t seed = 1;
};

/// A format 1 file at 480 ticks per quarter note: a tempo track's events at
/// the start of track 0, then `tracks` tracks of `notes_per_track` notes.
std::vector<std::uint8_t> generate_midi(const GeneratorOptions& options);

/// Parses a whole decimal number of at most `max` into `out`.
bool parse_number(const char* text, unsigned long long max, unsigned long long& out);

/// Writes `bytes` to the file at `path` and reports it on standard error as
/// "{tool}: wrote {n} bytes to {path}"; returns the exit status (0, or 1
/// with a message when the file cannot be written).
int write_generated(const char* tool, const char* path, const std::vector<std::uint8_t>& bytes);

}  // namespace tracksmith::bench