#pragma once
// MIDI import: turns the bytes of a Standard MIDI File into a track document
// (layers, one song, motifs). Failures are values; warnings are texts in the
// result. Entry point: song_from_midi().

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tracksmith/common/result.hpp"
#include "tracksmith/track/midi/import_error.hpp"
#include "tracksmith/song/note/layer.hpp"
#include "tracksmith/song/note/note.hpp"
#include "tracksmith/track/multisong/track_sections.hpp"

namespace tracksmith::track::midi {

/// A successful import: the document and what was converted leniently.
struct MidiImport {
  multisong::TrackDocument document;
  /// Only when ImportOptions::write_layers: for each layer entry, in order,
  /// its body as serialize_layer() writes it, where the import wrote it
  /// already; that layer then holds no notes and no motif placements. An
  /// entry without a body is a whole layer still.
  std::vector<std::optional<std::string>> layer_bodies;
  std::string song_name;              ///< always "song"
  /// In the order raised: per track its damage and its notes never
  /// released, then several tempo events, then what the document does not
  /// carry (channel volume, pan, expression, meter, markers and lyrics).
  std::vector<std::string> warnings;
};

/// How the import goes about its work; no choice changes the document.
struct ImportOptions {
  /// Threads that scan the tracks at once, the calling one among them; by
  /// default (0) one per processor the process may run on (one for an
  /// input under 512 KiB), at most one per track.
  unsigned threads = 0;
  /// Write each layer's body as text on the thread that scanned its track,
  /// and free its notes and placements there (MidiImport::layer_bodies), so
  /// that the notes of the whole file are never held at once. The layer of
  /// the file's last track chunk stays whole: nothing comes between it and
  /// the end of the import, so a writer may write it in pieces instead of
  /// holding its text.
  bool write_layers = false;
  /// When set, called with each track chunk's bytes once its scan is done,
  /// on the thread that scanned it, so possibly from several threads at
  /// once. The import reads those bytes no more: a caller may give their
  /// memory back while the other tracks are still read.
  std::function<void(std::span<const std::uint8_t>)> chunk_done;
};

/// Imports the bytes of a Standard MIDI File (or an RMID wrapper of one).
/// Never throws for bad input; damage the reader tolerates becomes a warning.
common::Result<MidiImport, MidiImportError> song_from_midi(std::span<const std::uint8_t> bytes,
                                                           const ImportOptions& options = {});

/// A pitch bend of a channel: its tick and its offset in semitones.
struct Bend {
  std::uint32_t tick = 0;
  float semitones = 0.0f;
};

/// Builds one finished note: sound, start and length in beats, pitch,
/// two-decimal volume and the pitch trajectory. `bends` are the channel's
/// bends so far (those inside the note move it); `start_bend` is where the
/// channel's wheel stood at the note-on, in semitones (0 at the centre).
song::Note build_note(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity,
                      std::uint32_t start_tick, std::uint32_t end_tick, float ticks_per_beat,
                      std::uint8_t program, const std::optional<std::string>& track_name,
                      std::span<const Bend> bends, float start_bend);

/// The standard instrument-library sound for a note.
std::string_view choose_sound(std::uint8_t channel, std::uint8_t key,
                              const std::optional<std::string>& track_name,
                              std::uint8_t program);

/// Motifs by name; the ordered map gives the document its motif order.
using MotifTable = std::map<std::string, std::vector<song::Note>>;

/// A track's notes after motif extraction.
struct MotifResult {
  std::vector<song::Note> notes;  ///< notes not covered by any occurrence, sorted by start
  std::vector<song::MotifInstance> instances;  ///< sorted by start
};

/// Moves figures that the track plays at least twice into `table` and
/// returns the remaining notes and the placements.
MotifResult extract_motifs(std::vector<song::Note> notes, std::uint32_t track_number,
                           MotifTable& table);

}  // namespace tracksmith::track::midi