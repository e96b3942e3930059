#pragma once
// The command-line driver: arguments, whole-file read, import, warnings,
// whole-document write and the outcome messages on standard error.
// Entry point: cli::run().

namespace cli {

/// Runs one conversion for "tracksmith <input.mid> [output.track]" and
/// returns the process exit status (0 on success, 1 on any failure).
int run(int argc, char** argv);

}  // namespace cli
