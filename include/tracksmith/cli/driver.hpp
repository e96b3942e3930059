#pragma once
// The command-line driver: arguments, whole-file read, import, warnings,
// document write (into a new file beside a replaced one) and the outcome
// messages on standard error.
// Entry point: cli::run().

#include <cstdint>
#include <string>

namespace tracksmith::cli {

/// Reads the whole file at `path` into `bytes`, replacing what it held, and
/// returns 0, or the errno of the call that failed. An input of `limit` bytes
/// or more fails with EFBIG, a stream as soon as it passes the limit, so that
/// an endless one (a device, a pipe) is not read until memory runs out.
int read_input(const std::string& path, std::string& bytes, std::uint64_t limit);

/// Runs one conversion for "tracksmith <input.mid> [output.track]" and
/// returns the process exit status (0 on success, 1 on any failure).
int run(int argc, char** argv);

}  // namespace tracksmith::cli