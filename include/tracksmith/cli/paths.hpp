#pragma once
// Output path derivation for the command line.

#include <string>
#include <string_view>

namespace tracksmith::cli {

/// The input path with the extension of its last component replaced by
/// "track" ("song.mid" -> "song.track"; "song" and ".mid" get ".track"
/// appended). When that would name the input itself ("x.track"), ".track" is
/// appended instead so that a conversion never overwrites its input.
std::string derive_output_path(std::string_view input);

}  // namespace tracksmith::cli