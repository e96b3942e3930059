#pragma once
// The front door: one call from the bytes of a Standard MIDI File to the text
// of its .track document, the call the tracksmith tool itself makes. Callers
// who build or inspect documents themselves use the modules beneath it: the
// model (tracksmith/song/, tracksmith/track/track.hpp), the import
// (tracksmith/track/midi/import.hpp) and the writers
// (tracksmith/header_format/document.hpp).
//
//   auto converted = tracksmith::convert(bytes);
//   if (!converted) return fail(converted.error().text());
//   use(converted->text);

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracksmith/common/api.hpp"
#include "tracksmith/common/result.hpp"
#include "tracksmith/header_format/document.hpp"
#include "tracksmith/track/midi/import_error.hpp"
#include "tracksmith/version.hpp"

namespace tracksmith {

/// The version of this library and tool, "X.Y.Z".
TRACKSMITH_API std::string_view version() noexcept;

/// A finished conversion.
struct Conversion {
  /// The document, byte for byte as the tool writes it (less what a drain
  /// took from its start; see ConvertOptions::drain).
  std::string text;
  /// What was converted leniently or dropped, in the order raised, each a
  /// line of text without a "Warning: " prefix: per track, its damage and
  /// its notes never released; then several tempo events; then what the
  /// document does not carry (differing channel volumes, pan, expression,
  /// a meter other than 4/4, markers, cue points and lyrics).
  std::vector<std::string> warnings;
  /// The number of layers in the document (at least 1).
  std::size_t layers = 0;
};

/// Why a conversion failed. `text()` is the one-line message ("could not
/// parse MIDI data: ...", "SMPTE timecode timing is not supported", "no notes
/// found"); `warnings` holds the damage and the notes never released found on
/// the way to "no notes found".
using ConversionError = track::midi::MidiImportError;

/// Inputs must be smaller than this (4 GiB); a larger one fails to parse.
inline constexpr std::uint64_t kMaxInputBytes = track::midi::kMaxInputBytes;

/// Choices about how convert() hands over its result. None changes the text.
struct ConvertOptions {
  /// When set, offered the finished text after each entry of a long
  /// section, so that a caller can write it away while the rest is made: it
  /// returns how many leading bytes it took (none, some or all), and
  /// Conversion::text then holds only what no call took.
  header_format::Drain drain;
  /// When set, receives the imported model once its text is written,
  /// instead of convert() freeing it: a process that exits right after may
  /// keep it and let the exit reclaim its millions of notes at once.
  std::function<void(track::midi::MidiImport&& model)> model_done;
  /// Threads that import the tracks and write their layers at once, the
  /// calling one among them; by default (0) one per processor the process
  /// may run on (one for an input under 512 KiB), at most one per track.
  /// Each call starts its own and ends them before it returns; a caller
  /// that already runs one conversion per core passes 1, so that the
  /// threads of its calls do not outnumber the cores.
  unsigned threads = 0;
  /// When set, called once the input has been imported, before the text is
  /// written; from then on convert() no longer reads the input, so a caller
  /// may free it here to lower the peak memory.
  std::function<void()> input_done;
  /// When set, called during the import with each part of the input that
  /// convert() has finished reading (a track chunk once it is scanned), on
  /// the thread that read it, so possibly from several threads at once: a
  /// caller may give the memory of those bytes back before the import ends.
  std::function<void(std::span<const std::uint8_t>)> input_part_done;
  /// When set, called once with the warnings as soon as the import has
  /// made them, before any text is made or offered to the drain, so that a
  /// caller who passes the text on while it is made can report them first.
  /// Conversion::warnings holds them all the same.
  std::function<void(const std::vector<std::string>& warnings)> warnings_done;
};

/// Converts the bytes of a Standard MIDI File into its .track document.
/// Never throws for bad input: every failure is a ConversionError. Throws
/// std::bad_alloc only when memory runs out. Keeps no state between calls,
/// so several threads may convert at once.
TRACKSMITH_API common::Result<Conversion, ConversionError> convert(std::span<const std::uint8_t> midi);

/// convert() with a choice of how the text is handed over.
TRACKSMITH_API common::Result<Conversion, ConversionError> convert(std::span<const std::uint8_t> midi,
                                                                   const ConvertOptions& options);

}  // namespace tracksmith
