#pragma once
// Why an import fails, and the largest input it takes: what the front door
// (tracksmith/tracksmith.hpp) needs of the import, in a header that pulls in
// nothing of the document model, so that it also compiles where exceptions
// are disabled.

#include <cstdint>
#include <string>
#include <vector>

#include "tracksmith/common/api.hpp"
#include "tracksmith/common/result.hpp"

namespace tracksmith::track::midi {

/// A successful import (tracksmith/track/midi/import.hpp).
struct MidiImport;

/// Why an import failed.
struct MidiImportError {
  enum class Kind { Parse, SmpteTimecode, NoNotes };
  Kind kind = Kind::Parse;
  common::Error parse_error;  ///< Parse: the reader's error
  /// NoNotes: the damaged-track and never-released warnings found on the
  /// way, in track order; they often explain why no note was found.
  std::vector<std::string> warnings;

  /// "could not parse MIDI data: {}", "SMPTE timecode timing is not
  /// supported" or "no notes found".
  TRACKSMITH_API std::string text() const;
};

/// Inputs must be smaller than this (4 GiB); a larger one fails to parse.
inline constexpr std::uint64_t kMaxInputBytes = std::uint64_t{1} << 32;

}  // namespace tracksmith::track::midi
