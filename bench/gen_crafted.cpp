// gen_crafted: writes a crafted MIDI file that drives one part of the import
// to its worst case, for the CPU-per-MiB comparison in bench/crafted.sh.
//   gen_crafted <kind> <out.mid> [--bytes N]
// The file comes out close to N bytes (default 2,000,000). Kinds:
//   bends-zero-length  a long run of bends, then zero-length notes
//   wrap-notes         bends whose ticks wrap past 2^32, then notes and bends
//   held-under-bends   rounds of all 128 keys held under a stream of bends
//   tiny-tracks        as many one-note tracks as the budget (and header) allow
//   motif-8            many tracks of 8 near-identical notes
//   motif-1500         tracks of 1,500 notes: one 4-note figure, slightly varied
//   sysex-heavy        ten one-note tracks, each with a sysex of a tenth of N
// All files are metrical at 480 ticks per quarter note, and the same for the
// same arguments.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "midi_generator.hpp"
#include "testutil/midi_builder.hpp"

using namespace tracksmith;

namespace {

using testutil::Bytes;
using testutil::MidiBuilder;
using testutil::TrackBuilder;

constexpr std::uint16_t kDivision = 480;
constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kEndOfTrack = 4;
constexpr std::size_t kMaxTracks = 65535;

// The events of one track on channel 0, with running status: a channel
// event leaves out its status byte when it repeats the previous one, and a
// meta or sysex event ends the run.
class Events {
 public:
  Events& tempo() {
    t_.tempo(500000);
    running_ = 0;
    return *this;
  }
  Events& name(std::string_view text) {
    t_.name(text);
    running_ = 0;
    return *this;
  }
  Events& sysex(std::uint32_t dt, const Bytes& payload) {
    t_.sysex(dt, payload);
    running_ = 0;
    return *this;
  }
  Events& note_on(std::uint32_t dt, std::uint8_t key, std::uint8_t velocity) {
    return channel(dt, 0x90, key, velocity);
  }
  Events& note_off(std::uint32_t dt, std::uint8_t key) { return channel(dt, 0x80, key, 64); }
  Events& bend(std::uint32_t dt, std::uint16_t value) {
    return channel(dt, 0xE0, static_cast<std::uint8_t>(value & 0x7F),
                   static_cast<std::uint8_t>((value >> 7) & 0x7F));
  }
  Events& end() {
    t_.end();
    return *this;
  }

  /// Bytes of the chunk so far, its header included.
  std::size_t chunk_size() const { return kChunkHeader + t_.bytes().size(); }
  const TrackBuilder& track() const { return t_; }

 private:
  Events& channel(std::uint32_t dt, std::uint8_t status, std::uint8_t a, std::uint8_t b) {
    t_.channel(dt, status, a, b, true, status == running_);
    running_ = status;
    return *this;
  }

  TrackBuilder t_;
  std::uint8_t running_ = 0;
};

// A bend value that sweeps the whole 14-bit range in uneven steps, so no two
// neighbours are equal.
std::uint16_t sweep(std::size_t i) { return static_cast<std::uint16_t>((i * 611 + 37) % 16384); }

std::uint8_t key_of(std::size_t i) { return static_cast<std::uint8_t>(36 + i % 48); }

Bytes single_track(const Events& events) {
  return MidiBuilder(0, kDivision).track(events.track()).bytes();
}

// Room left for events in a single-track file of `budget` bytes.
bool room(const Events& e, std::size_t budget, std::size_t event_bytes) {
  return kFileHeader + e.chunk_size() + event_bytes + kEndOfTrack <= budget;
}

// Half the budget in bends a tick apart, then notes whose off comes at the
// tick of their on, a tick apart, to the end of the budget.
Bytes bends_zero_length(std::size_t budget) {
  Events e;
  e.tempo();
  const std::size_t bend_bytes = budget / 2;
  for (std::size_t i = 0; e.chunk_size() + 3 <= bend_bytes; ++i) e.bend(1, sweep(i));
  for (std::size_t i = 0; room(e, budget, 8); ++i) {
    e.note_on(1, key_of(i), 100).note_off(0, key_of(i));
  }
  return single_track(e.end());
}

// Sixteen bends 0x0FFFFFFF ticks apart, each followed by eight bends three
// ticks apart: the tick sum passes 2^32 within the last group and wraps.
// After it, short notes with two bends inside each, at ticks far below
// those of the bends before the wrap.
Bytes wrap_notes(std::size_t budget) {
  constexpr std::uint32_t long_delta = 0x0FFFFFFF;  // the largest 4-byte quantity
  static_assert(16 * (std::uint64_t{long_delta} + 8 * 3) > 0xFFFFFFFFull);
  Events e;
  e.tempo();
  std::size_t n = 0;
  for (int group = 0; group < 16; ++group) {
    e.bend(long_delta, sweep(n++));
    for (int k = 0; k < 8; ++k) e.bend(3, sweep(n++));
  }
  for (std::size_t i = 0; room(e, budget, 15); ++i) {
    e.note_on(60, key_of(i), 90).bend(40, sweep(n)).bend(40, sweep(n + 1)).note_off(40, key_of(i));
    n += 2;
  }
  return single_track(e.end());
}

// Rounds of: all 128 keys on at one tick, kHeldBends bends a tick apart,
// all 128 keys off. Every note holds every bend of its round.
constexpr std::size_t kHeldBends = 4096;

Bytes held_under_bends(std::size_t budget) {
  constexpr std::size_t round_bytes = 128 * 3 + 1 + kHeldBends * 3 + 1 + 128 * 3 + 1;
  Events e;
  e.tempo();
  std::size_t n = 0;
  do {
    for (unsigned key = 0; key < 128; ++key) e.note_on(0, static_cast<std::uint8_t>(key), 100);
    for (std::size_t k = 0; k < kHeldBends; ++k) e.bend(1, sweep(n++));
    for (unsigned key = 0; key < 128; ++key) e.note_off(key == 0 ? 1 : 0, static_cast<std::uint8_t>(key));
  } while (room(e, budget, round_bytes));
  return single_track(e.end());
}

// One note a track, as many tracks as fit (at most what the header can
// count); when the budget holds more, each track gets a name that pads it.
Bytes tiny_tracks(std::size_t budget) {
  constexpr std::size_t bare = kChunkHeader + 4 + 4 + kEndOfTrack;
  const std::size_t first_extra = 7;  // the tempo event of the first track
  const std::size_t space = budget > kFileHeader + first_extra ? budget - kFileHeader - first_extra : 0;
  std::size_t tracks = space / bare;
  std::size_t name_length = 0;
  if (tracks > kMaxTracks) {
    tracks = kMaxTracks;
    const std::size_t per_track = space / tracks;
    name_length = per_track >= bare + 5 ? per_track - bare - 4 : 0;
  }
  if (tracks == 0) tracks = 1;
  MidiBuilder file(1, kDivision);
  for (std::size_t t = 0; t < tracks; ++t) {
    Events e;
    if (t == 0) e.tempo();
    if (name_length > 0) {
      std::string name(name_length, '.');
      name.replace(0, 0, std::to_string(t));
      name.resize(name_length);
      e.name(name);
    }
    e.note_on(0, key_of(t), 100).note_off(120, key_of(t)).end();
    file.track(e.track());
  }
  return file.bytes();
}

// Tracks of eight notes, a quarter apart and an eighth long, all at one
// velocity: even tracks repeat one key, odd tracks alternate two.
Events eight_note_track(std::size_t t) {
  Events e;
  if (t == 0) e.tempo();
  const std::uint8_t low = key_of(t);
  const auto high = static_cast<std::uint8_t>(t % 2 == 0 ? low : low + 2);
  for (int i = 0; i < 8; ++i) {
    const std::uint8_t key = i % 2 == 0 ? low : high;
    e.note_on(i == 0 ? 0 : 240, key, 90).note_off(240, key);
  }
  return e.end();
}

// As many tracks as fit, each the size of the second one, at most what the
// header can count.
Bytes repeated_tracks(std::size_t budget, Events (*make)(std::size_t)) {
  const std::size_t per_track = make(1).chunk_size();
  const std::size_t fit = budget > kFileHeader + 7 ? (budget - kFileHeader - 7) / per_track : 0;
  const std::size_t tracks = fit == 0 ? 1 : (fit > kMaxTracks ? kMaxTracks : fit);
  MidiBuilder file(1, kDivision);
  for (std::size_t t = 0; t < tracks; ++t) file.track(make(t).track());
  return file.bytes();
}

Bytes motif_8(std::size_t budget) { return repeated_tracks(budget, eight_note_track); }

// Tracks of 1,500 notes: one 4-note figure over and over, every 13th figure
// one velocity higher on its second note and every 29th with its last note a
// semitone up; each track a transposition of the first.
constexpr std::size_t kFigureNotes = 1500;

Events figure_track(std::size_t t) {
  static constexpr std::uint8_t figure[] = {0, 4, 7, 4};
  Events e;
  if (t == 0) e.tempo();
  const auto base = static_cast<std::uint8_t>(48 + t % 24);
  for (std::size_t i = 0; i < kFigureNotes; ++i) {
    const std::size_t f = i / 4;
    const std::size_t j = i % 4;
    auto key = static_cast<std::uint8_t>(base + figure[j]);
    if (j == 3 && f % 29 == 28) ++key;
    const auto velocity = static_cast<std::uint8_t>(j == 1 && f % 13 == 12 ? 91 : 90);
    e.note_on(i == 0 ? 0 : 20, key, velocity).note_off(100, key);
  }
  return e.end();
}

Bytes motif_1500(std::size_t budget) { return repeated_tracks(budget, figure_track); }

// Ten tracks, each a sysex event of about a tenth of the budget and then
// one quarter note.
Bytes sysex_heavy(std::size_t budget) {
  constexpr std::size_t tracks = 10;
  constexpr std::size_t overhead = kChunkHeader + 1 + 1 + 4 + 4 + 5 + kEndOfTrack;
  const std::size_t share = (budget > kFileHeader + 7 ? budget - kFileHeader - 7 : 0) / tracks;
  const std::size_t payload = share > overhead + 2 ? share - overhead : 2;
  MidiBuilder file(1, kDivision);
  for (std::size_t t = 0; t < tracks; ++t) {
    Bytes data(payload);
    data[0] = 0x7D;  // the non-commercial maker id
    for (std::size_t i = 1; i + 1 < payload; ++i) data[i] = static_cast<std::uint8_t>((i * 7 + t) & 0x7F);
    data[payload - 1] = 0xF7;
    Events e;
    if (t == 0) e.tempo();
    e.sysex(0, data).note_on(0, key_of(t), 100).note_off(480, key_of(t)).end();
    file.track(e.track());
  }
  return file.bytes();
}

struct Kind {
  std::string_view name;
  Bytes (*make)(std::size_t budget);
};

constexpr Kind kKinds[] = {
    {"bends-zero-length", bends_zero_length}, {"wrap-notes", wrap_notes},
    {"held-under-bends", held_under_bends},   {"tiny-tracks", tiny_tracks},
    {"motif-8", motif_8},                     {"motif-1500", motif_1500},
    {"sysex-heavy", sysex_heavy},
};

int usage() {
  std::fprintf(stderr, "usage: gen_crafted <kind> <out.mid> [--bytes N]\nkinds:");
  for (const Kind& k : kKinds) std::fprintf(stderr, " %.*s", static_cast<int>(k.name.size()), k.name.data());
  std::fprintf(stderr, "\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) return usage();
  const std::string_view kind = argv[1];
  const char* path = argv[2];
  unsigned long long budget = 2000000;
  if (argc == 5 && (std::string_view(argv[3]) != "--bytes" || !bench::parse_number(argv[4], 2000000000ull, budget) ||
                    budget < 1000)) {
    return usage();
  }
  const Kind* chosen = nullptr;
  for (const Kind& k : kKinds) {
    if (k.name == kind) chosen = &k;
  }
  if (chosen == nullptr) return usage();

  const Bytes bytes = chosen->make(static_cast<std::size_t>(budget));
  return bench::write_generated("gen_crafted", path, bytes);
}
