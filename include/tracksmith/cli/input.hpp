#pragma once
// Whole-file input for the command line.

#include <cstdint>
#include <string>

namespace tracksmith::cli {

/// Reads the whole file at `path` into `bytes`, replacing what it held, and
/// returns 0, or the errno of the call that failed. An input of `limit` bytes
/// or more fails with EFBIG, a stream as soon as it passes the limit, so that
/// an endless one (a device, a pipe) is not read until memory runs out.
int read_input(const std::string& path, std::string& bytes, std::uint64_t limit);

}  // namespace tracksmith::cli
