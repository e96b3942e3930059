#pragma once
// The command-line driver: arguments, --help and --version, the conversion
// of one file and the messages and exit status that report it.
// Entry point: cli::run().

namespace tracksmith::cli {

/// Runs one conversion for "tracksmith <input.mid> [output.track]" and
/// returns the process exit status (0 on success, 1 on any failure).
int run(int argc, char** argv);

}  // namespace tracksmith::cli
