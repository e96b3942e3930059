#pragma once
// Text clean-up for names read from MIDI files: lenient UTF-8 decoding and
// the trimming of Unicode white space.

#include <span>
#include <string>
#include <cstdint>

namespace tracksmith::track::midi::detail {

/// Decodes `bytes` as UTF-8, replacing each maximal invalid subpart with one
/// U+FFFD, and returns the result re-encoded as valid UTF-8.
std::string decode_utf8_lossy(std::span<const std::uint8_t> bytes);

/// The name a track-name or instrument-name event gives: the bytes decoded
/// leniently, Unicode White_Space trimmed at both ends, and every CR or LF
/// left inside replaced by a space so that the name stays on one line.
/// Empty when nothing but white space remains.
std::string clean_track_name(std::span<const std::uint8_t> bytes);

}  // namespace tracksmith::track::midi::detail