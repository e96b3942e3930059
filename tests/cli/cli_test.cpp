// End-to-end tests of the tracksmith executable: arguments, messages, exit
// status, output paths and the files it does or does not write.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tracksmith/cli/input.hpp"
#include "tracksmith/cli/paths.hpp"
#include "tracksmith/header_format/document.hpp"
#include "tracksmith/track/midi/import.hpp"
#include "tracksmith/tracksmith.hpp"
#include "testutil/midi_builder.hpp"

using namespace tracksmith;

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testutil::Bytes;
using testutil::MidiBuilder;
using testutil::TrackBuilder;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spit(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

/// Runs the built binary in `dir` with the given arguments. Its standard
/// error goes to `err_fd` when one is given; SIGPIPE has its default action
/// in the child whatever this process does with it. Standard output goes to
/// `out_path` when one is given (and is then not read back).
Outcome run_tool(const fs::path& dir, const std::vector<std::string>& args,
                 std::string program = TRACKSMITH_BINARY, int err_fd = -1,
                 const char* out_path = nullptr) {
  const fs::path out_file = out_path != nullptr ? fs::path(out_path) : dir / ".stdout";
  const fs::path err_file = dir / ".stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (err_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t default_signals;
  sigemptyset(&default_signals);
  sigaddset(&default_signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &default_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<char*> argv;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  Outcome result;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return result;
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  if (out_path == nullptr) {
    result.out = slurp(out_file);
    fs::remove(out_file);
  }
  result.err = slurp(err_file);
  fs::remove(err_file);
  return result;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tracksmith-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  /// Lists the files of the work folder (the captured output files excluded).
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      names.push_back(fs::relative(entry.path(), dir_).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

/// Three tracks with notes: a melody, a bass line and drums.
Bytes three_layer_file() {
  TrackBuilder melody;
  melody.name("Melody").note_on(0, 0, 60, 100).note_off(480, 0, 60).end();
  TrackBuilder bass;
  bass.name("Bass").note_on(0, 1, 36, 127).note_off(960, 1, 36).end();
  TrackBuilder drums;
  drums.note_on(0, 9, 38, 64).note_off(120, 9, 38).end();
  return MidiBuilder().track(melody).track(bass).track(drums).bytes();
}

Bytes two_tempo_file() {
  TrackBuilder conductor;
  conductor.tempo(500000).tempo(400000, 960).end();
  TrackBuilder notes;
  notes.note_on(0, 0, 69, 127).note_off(480, 0, 69).end();
  return MidiBuilder().track(conductor).track(notes).bytes();
}

TEST_F(Cli, NoArgumentPrintsUsage) {
  const Outcome r = run_tool(dir_, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Usage: tracksmith <input.mid> [output.track]\n");
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(files().empty());
}

TEST_F(Cli, HelpAndVersionAnswerOnlyAsTheSoleArgument) {
  spit(dir_ / "--help", three_layer_file());
  const std::string version = "tracksmith " + std::string(tracksmith::version()) + "\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_start;
    std::string err;
  };
  const Case cases[] = {
      {{"--version"}, 0, version, ""},
      {{"--help"}, 0, "Usage: tracksmith <input.mid> [output.track]\n\nConverts a Standard MIDI File", ""},
      {{"--version", "out.track"}, 1, "", "Reading --version: No such file or directory (os error 2)\n"},
      {{"./--help"}, 0, "", "Imported ./--help \u2192 ./--help.track (3 layers)\n"},
  };
  for (const Case& c : cases) {
    const Outcome r = run_tool(dir_, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.out.substr(0, c.out_start.size()), c.out_start) << c.args[0];
    if (c.out_start.empty()) {
      EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(r.err, c.err) << c.args[0];
  }
  EXPECT_EQ(version.find_first_not_of("tracksmith 0123456789.\n"), std::string::npos) << version;
  // An answer that cannot be written is a failure.
  for (const char* option : {"--help", "--version"}) {
    const Outcome r = run_tool(dir_, {option}, TRACKSMITH_BINARY, -1, "/dev/full");
    EXPECT_EQ(r.status, 1) << option;
    EXPECT_EQ(r.err, "tracksmith: writing standard output: No space left on device (os error 28)\n")
        << option;
  }
}

// Notes that end out of the order they start (a long one around a short
// one), more than a long layer is written in at a time, as the last track.
Bytes long_last_layer_file() {
  TrackBuilder chords;
  chords.name("Chords");
  for (int n = 0; n < 3000; ++n) {
    chords.note_on(0, 0, 60, 90).note_on(60, 0, 64, 90).note_off(30, 0, 64).note_off(30, 0, 60);
  }
  TrackBuilder lead;
  lead.name("Lead").note_on(0, 1, 72, 100).note_off(480, 1, 72).end();
  return MidiBuilder().track(lead).track(chords.end()).bytes();
}

TEST_F(Cli, ToolWritesTheFrontDoorsText) {
  for (const auto& [bytes, layers] :
       {std::pair{three_layer_file(), std::size_t{3}}, std::pair{long_last_layer_file(), std::size_t{2}}}) {
    spit(dir_ / "x.mid", bytes);
    ASSERT_EQ(run_tool(dir_, {"x.mid"}).status, 0);
    const auto converted = tracksmith::convert(bytes);
    ASSERT_TRUE(converted);
    EXPECT_EQ(converted->layers, layers);
    EXPECT_EQ(slurp(dir_ / "x.track"), converted->text);
    // The front door writes layers where their tracks are imported and the
    // last one in pieces: the same text as the whole model gives.
    const auto model = track::midi::song_from_midi(bytes);
    ASSERT_TRUE(model);
    std::string whole;
    header_format::write_document(model->document, whole);
    EXPECT_EQ(converted->text, whole);
    // However much a drain takes of what it is offered, what it took and what
    // is left make the same text.
    using Take = std::size_t (*)(std::size_t offered);
    const Take takes[] = {[](std::size_t offered) { return offered; },
                          [](std::size_t) { return std::size_t{0}; },
                          [](std::size_t offered) { return offered / 2; },
                          [](std::size_t offered) { return offered + 7; }};
    for (const Take take : takes) {
      std::string drained;
      tracksmith::ConvertOptions options;
      options.drain = [&](std::string_view finished) {
        const std::size_t taken = std::min(take(finished.size()), finished.size());
        drained.append(finished.substr(0, taken));
        return take(finished.size());
      };
      const auto in_parts = tracksmith::convert(bytes, options);
      ASSERT_TRUE(in_parts);
      EXPECT_EQ(drained + in_parts->text, converted->text) << take(100);
    }
  }
}

// TRACKSMITH_THREADS sets the threads of a conversion; the document, the
// messages and the status are the same for any value, and a value that is
// not a whole number from 1 to 1024 leaves the default.
TEST_F(Cli, ThreadsFromTheEnvironment) {
  spit(dir_ / "x.mid", long_last_layer_file());
  const Outcome plain = run_tool(dir_, {"x.mid", "plain.track"});
  ASSERT_EQ(plain.status, 0);
  for (const char* value : {"1", "2", "7", "", "0", "1025", "two", "2x", "-1", " 2"}) {
    fs::remove(dir_ / "x.track");
    const Outcome r = run_tool(dir_, {std::string("TRACKSMITH_THREADS=") + value, TRACKSMITH_BINARY, "x.mid",
                                      "x.track"},
                               "/usr/bin/env");
    EXPECT_EQ(r.status, 0) << value;
    EXPECT_EQ(r.err, std::regex_replace(plain.err, std::regex("plain\\.track"), "x.track")) << value;
    EXPECT_EQ(slurp(dir_ / "x.track"), slurp(dir_ / "plain.track")) << value;
  }
}

TEST_F(Cli, SuccessWritesDerivedPathAndReportsLayers) {
  spit(dir_ / "x.mid", three_layer_file());
  const Outcome r = run_tool(dir_, {"x.mid"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "Imported x.mid \u2192 x.track (3 layers)\n");
  EXPECT_EQ(r.out, "");
  const std::string text = slurp(dir_ / "x.track");
  EXPECT_EQ(text.rfind("@import std:instruments\n\n# Songs\n\n## song\n@tempo 120\n", 0), 0u) << text;
}

TEST_F(Cli, FailuresPrintOneLineAndWriteNothing) {
  spit(dir_ / "text.mid", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
  TrackBuilder meta_only;
  meta_only.name("Nothing").tempo(500000).end();
  spit(dir_ / "empty.mid", MidiBuilder().track(meta_only).bytes());
  TrackBuilder notes;
  notes.note_on(0, 0, 60, 100).note_off(10, 0, 60).end();
  spit(dir_ / "smpte.mid", MidiBuilder(1, 0xE728).track(notes).bytes());

  struct Case {
    std::vector<std::string> args;
    std::string err_prefix;
    std::string err_suffix;
  };
  const std::vector<Case> cases = {
      {{"missing.mid"}, "Reading missing.mid: No such file or directory (os error 2)\n", ""},
      {{"."}, "Reading .: Is a directory (os error 21)\n", ""},
      {{"text.mid"}, "Importing text.mid: could not parse MIDI data: invalid midi: ", "\n"},
      {{"empty.mid"}, "Importing empty.mid: no notes found\n", ""},
      {{"smpte.mid"}, "Importing smpte.mid: SMPTE timecode timing is not supported\n", ""},
  };
  const auto before = files();
  for (const auto& c : cases) {
    const Outcome r = run_tool(dir_, c.args);
    EXPECT_EQ(r.status, 1) << c.args[0];
    EXPECT_EQ(r.err.rfind(c.err_prefix, 0), 0u) << r.err;
    EXPECT_TRUE(r.err.size() >= c.err_suffix.size() &&
                r.err.compare(r.err.size() - c.err_suffix.size(), c.err_suffix.size(), c.err_suffix) == 0)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(files(), before);
}

TEST_F(Cli, WriteFailuresComeAfterWarnings) {
  spit(dir_ / "t.mid", two_tempo_file());
  fs::create_directory(dir_ / "adir");
  struct Case {
    std::string output;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"no/such/dir/out.track", "No such file or directory (os error 2)"},
      {"adir", "Is a directory (os error 21)"},
      {"adir/", "Is a directory (os error 21)"},
      {"nodir/", "Is a directory (os error 21)"},
      {"/dev/full", "No space left on device (os error 28)"},
  };
  for (const auto& c : cases) {
    const Outcome r = run_tool(dir_, {"t.mid", c.output});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Warning: 2 tempo events; using the first, tempo changes are dropped\n"
              "Writing " + c.output + ": " + c.error + "\n");
  }
}

// A file that holds MIDI data is never replaced by a document: not the
// input named twice or by a link, not the second of several inputs.
TEST_F(Cli, RefusesToReplaceAMidiFile) {
  spit(dir_ / "a.mid", two_tempo_file());
  spit(dir_ / "b.mid", three_layer_file());
  spit(dir_ / "c.mid", three_layer_file());
  Bytes rmid = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D'};
  spit(dir_ / "song.rmi", rmid);
  ASSERT_EQ(symlink("a.mid", (dir_ / "link.track").c_str()), 0);
  const std::string warning = "Warning: 2 tempo events; using the first, tempo changes are dropped\n";
  struct Case {
    std::vector<std::string> args;
    std::string output;
  };
  const std::vector<Case> cases = {
      {{"a.mid", "b.mid", "c.mid"}, "b.mid"},
      {{"a.mid", "a.mid"}, "a.mid"},
      {{"a.mid", "./a.mid"}, "./a.mid"},
      {{"a.mid", "link.track"}, "link.track"},
      {{"a.mid", "song.rmi"}, "song.rmi"},
  };
  std::vector<std::string> contents;
  for (const char* name : {"a.mid", "b.mid", "c.mid", "song.rmi"}) contents.push_back(slurp(dir_ / name));
  const auto before = files();
  for (const Case& c : cases) {
    const Outcome r = run_tool(dir_, c.args);
    EXPECT_EQ(r.status, 1) << c.output;
    EXPECT_EQ(r.err, warning + "Writing " + c.output + ": refusing to replace a MIDI file\n");
  }
  EXPECT_EQ(files(), before);
  std::size_t k = 0;
  for (const char* name : {"a.mid", "b.mid", "c.mid", "song.rmi"}) {
    EXPECT_TRUE(slurp(dir_ / name) == contents[k++]) << name;
  }
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.track"));
  // Also through a descriptor that leads to it.
  const Outcome through = run_tool(
      dir_, {"-c", std::string("exec ") + TRACKSMITH_BINARY + " a.mid /dev/fd/3 3<>b.mid"}, "/bin/sh");
  EXPECT_EQ(through.status, 1);
  EXPECT_EQ(through.err, warning + "Writing /dev/fd/3: refusing to replace a MIDI file\n");
  EXPECT_TRUE(slurp(dir_ / "b.mid") == contents[1]);

  // A file that only resembles one is replaced as usual.
  spit(dir_ / "short.track", Bytes{'M', 'T', 'h'});
  EXPECT_EQ(run_tool(dir_, {"a.mid", "short.track"}).status, 0);
}

// A standard error that nobody reads (a closed pipe) does not change the
// exit status, which the conversion alone decides.
TEST_F(Cli, ClosedStandardErrorKeepsTheExitStatus) {
  spit(dir_ / "good.mid", three_layer_file());
  spit(dir_ / "bad.mid", Bytes{'n', 'o', 'p', 'e'});
  for (const auto& [input, status] : {std::pair{"good.mid", 0}, std::pair{"bad.mid", 1}}) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    const Outcome r = run_tool(dir_, {input, "out.track"}, TRACKSMITH_BINARY, fds[1]);
    close(fds[1]);
    EXPECT_EQ(r.status, status) << input;
  }
  EXPECT_TRUE(fs::exists(dir_ / "out.track"));
}

// A link at the output path stays a link; the file it leads to takes the text.
TEST_F(Cli, LinkedOutputReplacesItsTarget) {
  spit(dir_ / "x.mid", three_layer_file());
  fs::create_directory(dir_ / "store");
  spit(dir_ / "store" / "x.track", Bytes(100, 'o'));
  ASSERT_EQ(symlink("store/x.track", (dir_ / "x.track").c_str()), 0);
  const Outcome r = run_tool(dir_, {"x.mid"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "x.track"));
  ASSERT_EQ(run_tool(dir_, {"x.mid", "fresh.track"}).status, 0);
  EXPECT_EQ(slurp(dir_ / "store" / "x.track"), slurp(dir_ / "fresh.track"));
}

TEST_F(Cli, WarningsComeBeforeTheSuccessLine) {
  spit(dir_ / "t.mid", two_tempo_file());
  const Outcome r = run_tool(dir_, {"t.mid", "out.track", "ignored", "also ignored"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "Warning: 2 tempo events; using the first, tempo changes are dropped\n"
            "Imported t.mid \u2192 out.track (1 layers)\n");
  EXPECT_TRUE(fs::exists(dir_ / "out.track"));
  EXPECT_FALSE(fs::exists(dir_ / "ignored"));
}

// A pipe takes a long document in pieces while it is made; the warnings
// still come first.
TEST_F(Cli, WarningsComeBeforeADocumentThatGoesOutInPieces) {
  TrackBuilder conductor;
  conductor.tempo(500000).tempo(400000, 960).end();
  TrackBuilder notes;
  for (int i = 0; i < 20000; ++i) notes.note_on(1, 0, 40 + i % 40, 100).note_off(60, 0, 40 + i % 40);
  spit(dir_ / "long.mid", MidiBuilder().track(conductor).track(notes.end()).bytes());
  const Outcome r = run_tool(
      dir_, {"-c", std::string("exec ") + TRACKSMITH_BINARY + " long.mid /dev/stdout 2>&1 | cat > both"}, "/bin/sh");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string both = slurp(dir_ / "both");
  ASSERT_GT(both.size(), 4u << 16);  // several pieces
  EXPECT_EQ(both.rfind("Warning: 2 tempo events; using the first, tempo changes are dropped\n"
                       "@import std:instruments\n", 0), 0u)
      << both.substr(0, 200);
}

TEST_F(Cli, DamagedTrackIsReportedAsAWarning) {
  TrackBuilder damaged;
  damaged.note_on(0, 0, 60, 100).note_off(480, 0, 60).raw({0x00, 0x90, 0x3C, 0x9C});
  spit(dir_ / "d.mid", MidiBuilder().track(damaged).bytes());
  const Outcome r = run_tool(dir_, {"d.mid"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind("Warning: track 1: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("; the rest of the track is ignored\nImported d.mid \u2192 d.track (1 layers)\n"),
            std::string::npos)
      << r.err;

  // When the damage took every note, its warnings explain the failure.
  TrackBuilder lost;
  lost.name("Lost").raw({0x00, 0x90, 0x3C, 0x9C});
  spit(dir_ / "none.mid", MidiBuilder().track(lost).track(lost).bytes());
  const Outcome none = run_tool(dir_, {"none.mid"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err,
            "Warning: track 1: data byte 0x9C inside a note-on at byte 30; the rest of the track is ignored\n"
            "Warning: track 2: data byte 0x9C inside a note-on at byte 50; the rest of the track is ignored\n"
            "Importing none.mid: no notes found\n");
  EXPECT_FALSE(fs::exists(dir_ / "none.track"));
}

TEST_F(Cli, DerivedOutputPaths) {
  fs::create_directory(dir_ / "dir");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"song.mid", "song.track"},
      {"dir/a.b.mid", "dir/a.b.track"},
      {"song", "song.track"},
      {".mid", ".mid.track"},
      {"x.track", "x.track.track"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(cli::derive_output_path(input), expected);
    spit(dir_ / input, three_layer_file());
    const Outcome r = run_tool(dir_, {input});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Imported " + input + " \u2192 " + expected + " (3 layers)\n");
    EXPECT_TRUE(fs::exists(dir_ / expected)) << expected;
  }
  // The input itself is never overwritten by a derived path.
  EXPECT_EQ(slurp(dir_ / "x.track").rfind("MThd", 0), 0u);
}

TEST_F(Cli, NonUtf8PathIsUsedAndPrintedAsGiven) {
  const std::string name = "caf\xE9.mid";
  spit(dir_ / name, three_layer_file());
  const Outcome r = run_tool(dir_, {name});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "Imported " + name + " \u2192 caf\xE9.track (3 layers)\n");
  EXPECT_TRUE(fs::exists(dir_ / "caf\xE9.track"));
}

#if defined(__SANITIZE_ADDRESS__)
#define TRACKSMITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRACKSMITH_ASAN 1
#endif
#endif

// Running out of memory is reported like any other failure: the notes of
// this one track alone take 48 MB. (Sanitizer builds reserve more address
// space than the limit allows, so they skip.)
TEST_F(Cli, OutOfMemoryIsOneLineAndNoOutput) {
#ifdef TRACKSMITH_ASAN
  GTEST_SKIP() << "address space limits do not apply under the address sanitizer";
#else
  TrackBuilder big;
  for (int i = 0; i < 600000; ++i) big.note_on(1, 0, 60, 100).note_off(1, 0, 60);
  spit(dir_ / "big.mid", MidiBuilder().track(big.end()).bytes());
  const Outcome r = run_tool(
      dir_, {"-c", std::string("ulimit -v 40000; exec ") + TRACKSMITH_BINARY + " big.mid big.track"},
      "/bin/sh");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tracksmith: out of memory\n");
  EXPECT_FALSE(fs::exists(dir_ / "big.track"));
#endif
}

// Tracks of few notes among megabytes of other data do not keep the room
// that their size would suggest for notes: twenty one-note tracks with
// 600 kB of system exclusive data each convert in little address space.
TEST_F(Cli, SysexHeavyTracksConvertInLittleMemory) {
#ifdef TRACKSMITH_ASAN
  GTEST_SKIP() << "address space limits do not apply under the address sanitizer";
#else
  MidiBuilder file;
  for (int i = 0; i < 20; ++i) {
    TrackBuilder track;
    track.note_on(0, 0, 60, 100).note_off(480, 0, 60).sysex(0, Bytes(600000, 0x11)).end();
    file.track(track);
  }
  spit(dir_ / "sysex.mid", file.bytes());
  const Outcome r = run_tool(
      dir_, {"-c", std::string("ulimit -v 180000; exec ") + TRACKSMITH_BINARY + " sysex.mid"},
      "/bin/sh");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "Imported sysex.mid \u2192 sysex.track (20 layers)\n");
#endif
}

// A write that fails part way (a file size limit, a full file system)
// leaves the old output as it was, byte for byte, and no other file behind.
TEST_F(Cli, FailedWriteKeepsTheOldOutput) {
  Bytes old(1350000);
  for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>('a' + i % 23);
  spit(dir_ / "x.track", old);
  struct Case {
    int tracks;
    int notes;               // per track
    const char* size_limit;  // ulimit -f, in blocks of 512 bytes
  };
  // A short document fails in its one write; a long one (about 7 MB) while
  // its first pieces are written beside the making of the rest.
  const Case cases[] = {{1, 2000, "8"}, {8, 50000, "6000"}};
  for (const Case& c : cases) {
    MidiBuilder midi;
    for (int t = 0; t < c.tracks; ++t) {
      TrackBuilder track;
      for (int i = 0; i < c.notes; ++i) track.note_on(1, 0, 60, 100).note_off(1, 0, 60);
      midi.track(track.end());
    }
    spit(dir_ / "x.mid", midi.bytes());
    const auto before = files();

    const Outcome r = run_tool(
        dir_, {"-c", std::string("ulimit -f ") + c.size_limit + "; exec " + TRACKSMITH_BINARY + " x.mid x.track"},
        "/bin/sh");
    EXPECT_EQ(r.status, 1) << c.size_limit;
    EXPECT_EQ(r.err, "Writing x.track: File too large (os error 27)\n");
    EXPECT_TRUE(slurp(dir_ / "x.track") == std::string(old.begin(), old.end()));
    EXPECT_EQ(files(), before);
  }

  // A full file system, made in a mount namespace of the child's own.
  if (geteuid() != 0) {
    GTEST_SKIP() << "the full file system case needs root to mount a tmpfs";
  }
  fs::create_directory(dir_ / "full");
  const std::string script =
      "mount -t tmpfs -o size=2m tmpfs full || exit 99\n"
      "cp x.track full/x.track && cat /dev/zero > full/filler 2>/dev/null\n" +
      std::string(TRACKSMITH_BINARY) + " x.mid full/x.track\n"
      "echo \"status $?\" >&2\n"
      "cmp -s x.track full/x.track && echo same >&2\n"
      "ls -A full >&2\n";
  const Outcome full = run_tool(dir_, {"-m", "--propagation", "private", "sh", "-c", script},
                                "/usr/bin/unshare");
  if (full.status != 0) {
    GTEST_SKIP() << "no private mount namespace here (status " << full.status << "): " << full.err;
  }
  EXPECT_EQ(full.err,
            "Writing full/x.track: No space left on device (os error 28)\n"
            "status 1\nsame\nfiller\nx.track\n");
}

// Inputs have a size limit. A file at it is refused before it is read; a
// stream (here a pipe) is refused as soon as it passes it, however long it
// would go on; anything shorter is read whole.
TEST_F(Cli, InputSizeLimit) {
  constexpr std::uint64_t kLimit = 200000;
  struct Case {
    std::size_t size;
    bool through_pipe;
    int error;  // expected result of the read
  };
  const Case cases[] = {
      {kLimit - 1, false, 0},   {kLimit, false, EFBIG}, {5 * kLimit, false, EFBIG},
      {kLimit - 1, true, 0},    {kLimit, true, EFBIG},  {50 * kLimit, true, EFBIG},
      {0, true, 0},
  };
  for (const Case& c : cases) {
    const std::string where = std::to_string(c.size) + (c.through_pipe ? " bytes through a pipe" : " bytes");
    Bytes content(c.size);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
    const fs::path path = dir_ / (c.through_pipe ? "in.pipe" : "in.bin");
    fs::remove(path);
    std::thread feeder;
    if (c.through_pipe) {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
      // The writer stops early when the reader gives up: a closed pipe is not
      // an error for it, nor a signal that ends the test.
      std::signal(SIGPIPE, SIG_IGN);
      feeder = std::thread([&] {
        const int fd = open(path.c_str(), O_WRONLY);
        std::size_t done = 0;
        while (fd >= 0 && done < content.size()) {
          const ssize_t n = write(fd, content.data() + done, content.size() - done);
          if (n <= 0) break;
          done += static_cast<std::size_t>(n);
        }
        if (fd >= 0) close(fd);
      });
    } else {
      spit(path, content);
    }
    cli::InputBytes input;
    spit(dir_ / "earlier.bin", Bytes(5000, 0x55));
    ASSERT_EQ(cli::read_input((dir_ / "earlier.bin").string(), input, kLimit), 0);  // something to replace
    const int error = cli::read_input(path.string(), input, kLimit);
    if (feeder.joinable()) feeder.join();
    EXPECT_EQ(error, c.error) << where;
    if (c.error == 0) {
      EXPECT_TRUE(std::ranges::equal(input.bytes(), content)) << where;
    }
  }
}

TEST_F(Cli, TwoRunsGiveIdenticalBytes) {
  spit(dir_ / "x.mid", three_layer_file());
  ASSERT_EQ(run_tool(dir_, {"x.mid", "a.track"}).status, 0);
  ASSERT_EQ(run_tool(dir_, {"x.mid", "b.track"}).status, 0);
  EXPECT_EQ(slurp(dir_ / "a.track"), slurp(dir_ / "b.track"));
}

// Giving back a converted part of the input frees only the pages that lie
// wholly within it: the bytes around it, which other tracks may still be
// reading, stay as they were.
TEST_F(Cli, ReleasingPartOfTheInputKeepsItsNeighbours) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  Bytes content(5 * page + 123);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(1 + i % 251);
  spit(dir_ / "in.bin", content);
  cli::InputBytes input;
  ASSERT_EQ(cli::read_input((dir_ / "in.bin").string(), input, 1u << 30), 0);
  const std::size_t from = page + 10;
  const std::size_t to = 4 * page - 10;
  input.release(input.bytes().subspan(from, to - from));
  input.release(input.bytes().subspan(4 * page + 1, 20));  // no whole page: nothing given back
  for (std::size_t i = 0; i < content.size(); ++i) {
    const bool freed = i >= 2 * page && i < 3 * page;
    ASSERT_EQ(input.bytes()[i], freed ? 0 : content[i]) << "byte " << i;
  }
}

// A pipe has no size to read up front: the input is read to its end in
// growing steps and converts exactly like the same bytes in a regular file.
TEST_F(Cli, InputFromAPipeReadsToTheEnd) {
  TrackBuilder track;
  for (int i = 0; i < 30000; ++i) track.note_on(0, 0, 40 + i % 40, 1 + i % 120).note_off(60, 0, 40 + i % 40);
  track.end();
  const Bytes bytes = MidiBuilder().track(track).bytes();
  ASSERT_GT(bytes.size(), 3u << 16);
  spit(dir_ / "file.mid", bytes);
  ASSERT_EQ(run_tool(dir_, {"file.mid", "from_file.track"}).status, 0);

  ASSERT_EQ(mkfifo((dir_ / "pipe.mid").c_str(), 0600), 0);
  std::thread feeder([&] { spit(dir_ / "pipe.mid", bytes); });
  const Outcome r = run_tool(dir_, {"pipe.mid", "from_pipe.track"});
  feeder.join();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(dir_ / "from_pipe.track"), slurp(dir_ / "from_file.track"));
}

// The output file holds exactly the document the writers produce for the
// file, also when the text is larger than the input (its buffer grows), far
// smaller than it (the input's bytes must not show through), and several
// MiB long (written in pieces), into a new file and into a pipe.
TEST_F(Cli, OutputIsTheWholeDocumentWhateverItsSize) {
  struct Case {
    const char* name;
    int tracks;
    int notes;            // per track
    std::size_t padding;  // bytes of system exclusive data after the notes
  };
  const Case cases[] = {
      {"dense", 1, 120000, 0},        // about 6 input bytes per note line
      {"padded", 1, 12, 3u << 20},    // a few lines after megabytes of sysex
      {"empty-tail", 1, 9, 70000},
      {"many-tracks", 8, 40000, 0},   // several MiB, handed on in pieces
  };
  for (const Case& c : cases) {
    // Each note is a note-on and a note-on at velocity 0 under running status.
    MidiBuilder midi;
    for (int t = 0; t < c.tracks; ++t) {
      TrackBuilder track;
      for (int i = 0; i < c.notes; ++i) {
        const auto key = static_cast<std::uint8_t>(40 + (i + t) % 50);
        track.note_on(1, 0, key, static_cast<std::uint8_t>(1 + i % 126), i > 0);
        track.note_on(1 + i % 3, 0, key, 0, true);
      }
      if (c.padding > 0) track.sysex(0, Bytes(c.padding, 0x11));
      midi.track(track.end());
    }
    const Bytes bytes = midi.bytes();
    spit(dir_ / "in.mid", bytes);

    auto imported = track::midi::song_from_midi(bytes);
    ASSERT_TRUE(imported) << c.name;
    std::string expected;
    header_format::write_document(imported->document, expected);
    if (c.padding == 0) {
      ASSERT_GT(expected.size(), 2u << 20) << "the dense case must take several pieces";
    }

    const Outcome r = run_tool(dir_, {"in.mid", "out.track"});
    ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
    const std::string written = slurp(dir_ / "out.track");
    EXPECT_EQ(written.size(), expected.size()) << c.name;
    EXPECT_TRUE(written == expected) << c.name;
    // A pipe takes the same text, in the same pieces.
    const Outcome piped = run_tool(
        dir_, {"-c", std::string("exec ") + TRACKSMITH_BINARY + " in.mid /dev/stdout | cat > piped"}, "/bin/sh");
    ASSERT_EQ(piped.status, 0) << c.name << ": " << piped.err;
    EXPECT_TRUE(slurp(dir_ / "piped") == expected) << c.name;
  }
}

// An existing output file is written over rather than emptied first: whatever
// it held before, longer, shorter or as long, afterwards it is exactly the
// document, and it keeps its permissions. A device as output takes the text
// without being cut.
TEST_F(Cli, ExistingOutputIsReplacedExactly) {
  spit(dir_ / "x.mid", three_layer_file());
  ASSERT_EQ(run_tool(dir_, {"x.mid", "fresh.track"}).status, 0);
  const std::string expected = slurp(dir_ / "fresh.track");
  ASSERT_FALSE(expected.empty());

  const std::string before[] = {
      std::string(3u << 20, 'x'),                 // far longer
      expected + "stale tail\n",                   // one line longer
      std::string(expected.size(), '\n'),          // as long
      "abc",                                       // shorter
      "",                                          // empty
  };
  for (const std::string& old : before) {
    {
      std::ofstream out(dir_ / "x.track", std::ios::binary | std::ios::trunc);
      out << old;
    }
    ASSERT_EQ(chmod((dir_ / "x.track").c_str(), 0640), 0);
    const Outcome r = run_tool(dir_, {"x.mid", "x.track"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(slurp(dir_ / "x.track") == expected) << "old content of " << old.size() << " bytes";
    struct stat info {};
    ASSERT_EQ(stat((dir_ / "x.track").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
  }

  const Outcome r = run_tool(dir_, {"x.mid", "/dev/null"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "Imported x.mid \u2192 /dev/null (3 layers)\n");

  // Standard output that is a regular file takes the text through its
  // descriptor: no new file takes that file's place (the shell still holds
  // it open), so the file keeps its identity.
  spit(dir_ / "out.txt", Bytes{'o', 'l', 'd'});
  struct stat held {};
  ASSERT_EQ(stat((dir_ / "out.txt").c_str(), &held), 0);
  const Outcome to_stdout = run_tool(
      dir_, {"-c", std::string("exec ") + TRACKSMITH_BINARY + " x.mid /dev/stdout > out.txt"}, "/bin/sh");
  EXPECT_EQ(to_stdout.status, 0) << to_stdout.err;
  struct stat after {};
  ASSERT_EQ(stat((dir_ / "out.txt").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, held.st_ino);
  EXPECT_TRUE(slurp(dir_ / "out.txt") == expected);
}

// Outputs named by an open descriptor (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N) are written through that descriptor as it stands: at its
// offset, keeping its append flag, never cut, so ">> log" appends.
TEST_F(Cli, DescriptorOutputsAppendAndAreNeverCut) {
  spit(dir_ / "x.mid", three_layer_file());
  ASSERT_EQ(run_tool(dir_, {"x.mid", "plain.track"}).status, 0);
  const std::string document = slurp(dir_ / "plain.track");
  const std::string tool = TRACKSMITH_BINARY;
  const std::string before = "earlier line\n";
  for (const char* path : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "/dev/fd/5"}) {
    const std::string fd = std::string(path) == "/dev/fd/5" ? "5" : "";
    const Outcome appended = run_tool(
        dir_, {"-c", "printf 'earlier line\\n' > log; exec " + tool + " x.mid " + path + " " + fd + ">> log"},
        "/bin/sh");
    EXPECT_EQ(appended.status, 0) << path << appended.err;
    EXPECT_EQ(slurp(dir_ / "log"), before + document) << path;
  }
  // At the descriptor's offset, and nothing after it is cut: ten bytes are
  // skipped, and the longer old text beyond the document stays.
  const std::string old_text(document.size() + 50, 'z');
  spit(dir_ / "log", Bytes(old_text.begin(), old_text.end()));
  const Outcome at_offset = run_tool(
      dir_, {"-c", "exec 3<>log; dd bs=1 skip=0 count=10 <&3 >/dev/null 2>&1; exec " + tool + " x.mid /dev/fd/3"},
      "/bin/sh");
  EXPECT_EQ(at_offset.status, 0) << at_offset.err;
  EXPECT_EQ(slurp(dir_ / "log"), old_text.substr(0, 10) + document + old_text.substr(10 + document.size()));
  // A pipe still takes it.
  const Outcome piped =
      run_tool(dir_, {"-c", "exec " + tool + " x.mid /dev/stdout | cat > piped"}, "/bin/sh");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(slurp(dir_ / "piped"), document);
}

// An interrupted run (SIGINT, SIGTERM, SIGHUP) leaves the old output as it
// was and no new file beside it, and ends by the same signal, so that shells
// and build tools see the interruption.
TEST_F(Cli, InterruptedRunLeavesTheOldOutputAndNoNewFile) {
  TrackBuilder big;
  for (int i = 0; i < 1500000; ++i) big.note_on(1, 0, 60, 100).note_off(1, 0, 60);
  spit(dir_ / "big.mid", MidiBuilder().track(big.end()).bytes());
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    spit(dir_ / "big.track", Bytes{'o', 'l', 'd'});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, (dir_ / ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
    std::string program = TRACKSMITH_BINARY;
    std::string input = "big.mid";
    char* argv[] = {program.data(), input.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Waits for the new file that takes the document, then interrupts.
    bool writing = false;
    for (int k = 0; k < 200000 && !writing; ++k) {
      for (const auto& entry : fs::directory_iterator(dir_)) {
        if (entry.path().filename().string().rfind(".tracksmith-", 0) == 0) writing = true;
      }
      if (!writing) usleep(100);
    }
    EXPECT_TRUE(writing) << signal_number;
    kill(pid, signal_number);
    int wstatus = 0;
    ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == signal_number) << signal_number << " " << wstatus;
    EXPECT_EQ(files(), (std::vector<std::string>{".stderr", "big.mid", "big.track"})) << signal_number;
    EXPECT_EQ(slurp(dir_ / "big.track"), "old") << signal_number;
  }
}

// Replacing a file of someone else's: run as another user (uid 65534,
// group 100, also in group 4321), the tool keeps the old file's group where
// that user may set it, and refuses, keeping the old file, where no new file
// can be made beside it (it would otherwise be written in place, half
// written if the run fails).
TEST_F(Cli, ReplacingAnotherUsersFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make files of other users";
  spit(dir_ / "x.mid", three_layer_file());
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(chmod((dir_ / "x.mid").c_str(), 0644), 0);
  const std::string as_other = std::string("exec setpriv --reuid=65534 --regid=100 --groups=4321 ") +
                               TRACKSMITH_BINARY + " x.mid ";
  const Bytes old{'o', 'l', 'd'};

  fs::create_directory(dir_ / "shared");
  ASSERT_EQ(chmod((dir_ / "shared").c_str(), 0777), 0);
  spit(dir_ / "shared/x.track", old);
  ASSERT_EQ(chown((dir_ / "shared/x.track").c_str(), 1234, 4321), 0);
  ASSERT_EQ(chmod((dir_ / "shared/x.track").c_str(), 0660), 0);
  const Outcome shared = run_tool(dir_, {"-c", as_other + "shared/x.track"}, "/bin/sh");
  ASSERT_EQ(shared.status, 0) << shared.err;
  struct stat info {};
  ASSERT_EQ(stat((dir_ / "shared/x.track").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);  // only the superuser may give a file away
  EXPECT_EQ(info.st_gid, 4321u);
  EXPECT_EQ(info.st_mode & 07777, 0660u);

  fs::create_directory(dir_ / "closed");
  spit(dir_ / "closed/x.track", old);
  ASSERT_EQ(chmod((dir_ / "closed/x.track").c_str(), 0666), 0);
  ASSERT_EQ(chmod((dir_ / "closed").c_str(), 0555), 0);
  const Outcome closed = run_tool(dir_, {"-c", as_other + "closed/x.track"}, "/bin/sh");
  EXPECT_EQ(closed.status, 1);
  EXPECT_EQ(closed.err,
            "Writing closed/x.track: no new file can be made beside it to replace it: Permission denied "
            "(os error 13)\n");
  EXPECT_TRUE(slurp(dir_ / "closed/x.track") == "old");
  ASSERT_EQ(chmod((dir_ / "closed").c_str(), 0755), 0);
}

// A file system without permission bits (FAT through FUSE, whose chmod is
// "not implemented") still has its files replaced.
TEST_F(Cli, ReplacesOnAFileSystemWithoutPermissionBits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a file system";
  if (access("/usr/bin/fusefat", X_OK) != 0 || access("/usr/sbin/mkfs.vfat", X_OK) != 0) {
    GTEST_SKIP() << "needs fusefat and mkfs.vfat";
  }
  spit(dir_ / "x.mid", three_layer_file());
  ASSERT_EQ(run_tool(dir_, {"x.mid", "plain.track"}).status, 0);
  fs::create_directory(dir_ / "fat");
  const std::string script =
      "truncate -s 8M fat.img && mkfs.vfat fat.img >/dev/null || exit 99\n"
      "fusefat -o rw+ fat.img fat >/dev/null 2>&1 || exit 99\n"
      "echo old > fat/x.track\n" +
      std::string(TRACKSMITH_BINARY) + " x.mid fat/x.track 2>/dev/null\n"
      "echo \"status $?\" >&2\n"
      "cmp -s plain.track fat/x.track && echo replaced >&2\n"
      "ls -A fat >&2\n"
      "fusermount -u fat\n";
  const Outcome r = run_tool(dir_, {"-m", "--propagation", "private", "sh", "-c", script}, "/usr/bin/unshare");
  if (r.status == 99) GTEST_SKIP() << "no FUSE mount here: " << r.err;
  EXPECT_EQ(r.err, "status 0\nreplaced\nx.track\n");
}

TEST_F(Cli, BundledExampleMatchesGoldenDocument) {
  const fs::path source = TRACKSMITH_SOURCE_DIR;
  const Outcome r = run_tool(dir_, {(source / "examples/example.mid").string(), "example.track"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(dir_ / "example.track"), slurp(source / "tests/golden/example.track"));
}

}  // namespace
