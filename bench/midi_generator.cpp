#include "midi_generator.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "testutil/random.hpp"

using namespace tracksmith;

namespace tracksmith::bench {
namespace {


using Bytes = std::vector<std::uint8_t>;

void put_vlq(Bytes& out, std::uint32_t value) {
  std::uint8_t tmp[5];
  int n = 0;
  tmp[n++] = static_cast<std::uint8_t>(value & 0x7F);
  while ((value >>= 7) != 0) tmp[n++] = static_cast<std::uint8_t>(0x80 | (value & 0x7F));
  while (n > 0) out.push_back(tmp[--n]);
}

void put_u32be(Bytes& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

void put_meta(Bytes& out, std::uint8_t type, const Bytes& data) {
  out.push_back(0x00);
  out.push_back(0xFF);
  out.push_back(type);
  put_vlq(out, static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

struct Note {
  std::uint32_t rest;    // ticks of silence before the note
  std::uint32_t length;  // ticks
  std::uint8_t key;
  std::uint8_t velocity;
};

constexpr std::uint32_t kFigureNotes = 8;
constexpr std::uint32_t kTicksPerBar = 4 * 480;

class TrackWriter {
 public:
  TrackWriter(const GeneratorOptions& o, std::uint8_t channel, Bytes& out)
      : o_(o), channel_(channel), out_(out) {}

  void note(const Note& n) {
    std::uint32_t rest = n.rest;
    if (o_.sustain) rest = pedal_before(rest);
    event_delta(rest);
    status(0x90);
    out_.push_back(n.key);
    out_.push_back(n.velocity);
    now_ += rest;
    std::uint32_t left = n.length;
    if (o_.bends && bend_next_) {
      // A slide up a whole tone in the second half of the note, then back.
      const std::uint32_t half = left / 2;
      bend(half, 8192 + 2048);
      bend(left - half, 8192 + 4095);
      left = 0;
      bend(0, 8192);
    }
    bend_next_ = !bend_next_;
    event_delta(left);
    status(0x80);
    out_.push_back(n.key);
    out_.push_back(64);
    now_ += n.length;
  }

 private:
  void event_delta(std::uint32_t d) { put_vlq(out_, d); }
  void status(std::uint8_t kind) {
    const auto s = static_cast<std::uint8_t>(kind | channel_);
    if (s != running_) out_.push_back(s);
    running_ = s;
  }
  void bend(std::uint32_t delta, std::uint32_t value) {
    event_delta(delta);
    status(0xE0);
    out_.push_back(static_cast<std::uint8_t>(value & 0x7F));
    out_.push_back(static_cast<std::uint8_t>((value >> 7) & 0x7F));
  }
  // Lifts and presses the pedal at each bar line crossed by the rest; returns
  // the rest still to wait.
  std::uint32_t pedal_before(std::uint32_t rest) {
    const std::uint32_t next_bar = (now_ / kTicksPerBar + 1) * kTicksPerBar;
    if (now_ + rest < next_bar) return rest;
    const std::uint32_t to_bar = next_bar - now_;
    event_delta(to_bar);
    status(0xB0);
    out_.push_back(64);
    out_.push_back(0);
    event_delta(0);
    status(0xB0);
    out_.push_back(64);
    out_.push_back(127);
    now_ += to_bar;
    return rest - to_bar;
  }

  const GeneratorOptions& o_;
  std::uint8_t channel_;
  Bytes& out_;
  std::uint8_t running_ = 0;
  std::uint32_t now_ = 0;
  bool bend_next_ = false;
};

Bytes track_data(const GeneratorOptions& o, std::uint16_t index, testutil::SplitMix64& rng) {
  Bytes out;
  out.reserve(std::size_t{o.notes_per_track} * 9 + 64);
  const std::string name = "Track " + std::to_string(index + 1);
  put_meta(out, 0x03, Bytes(name.begin(), name.end()));
  if (index == 0) {
    put_meta(out, 0x51, {0x07, 0xA1, 0x20});
    put_meta(out, 0x58, {4, 2, 24, 8});
  }
  const auto channel = static_cast<std::uint8_t>(index % 16 == 9 ? 10 : index % 16);
  out.push_back(0x00);
  out.push_back(static_cast<std::uint8_t>(0xC0 | channel));
  out.push_back(static_cast<std::uint8_t>(rng.below(128)));

  static constexpr std::uint32_t lengths[] = {60, 120, 240, 480, 960};
  std::vector<Note> notes;
  notes.reserve(o.notes_per_track);
  const std::uint8_t low = static_cast<std::uint8_t>(36 + rng.below(24));
  while (notes.size() < o.notes_per_track) {
    const std::size_t figures = notes.size() / kFigureNotes;
    if (figures > 0 && rng.unit() < o.repeat_share) {
      // Repeat an earlier figure, transposed by up to a fifth either way.
      const std::size_t from = rng.below(static_cast<std::uint32_t>(figures)) * kFigureNotes;
      const int shift = static_cast<int>(rng.below(15)) - 7;
      for (std::uint32_t i = 0; i < kFigureNotes && notes.size() < o.notes_per_track; ++i) {
        Note n = notes[from + i];
        n.key = static_cast<std::uint8_t>(std::clamp(n.key + shift, 0, 127));
        notes.push_back(n);
      }
      continue;
    }
    for (std::uint32_t i = 0; i < kFigureNotes && notes.size() < o.notes_per_track; ++i) {
      Note n;
      n.rest = rng.below(4) == 0 ? lengths[rng.below(3)] : 0;
      n.length = lengths[rng.below(5)];
      n.key = static_cast<std::uint8_t>(low + rng.below(36));
      n.velocity = static_cast<std::uint8_t>(40 + rng.below(88));
      notes.push_back(n);
    }
  }
  TrackWriter writer(o, channel, out);
  for (const Note& n : notes) writer.note(n);
  put_meta(out, 0x2F, {});
  return out;
}

}  // namespace

std::vector<std::uint8_t> generate_midi(const GeneratorOptions& options) {
  testutil::SplitMix64 rng(options.seed);
  Bytes out{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  out.push_back(static_cast<std::uint8_t>(options.tracks >> 8));
  out.push_back(static_cast<std::uint8_t>(options.tracks));
  out.push_back(0x01);  // 480 ticks per quarter note
  out.push_back(0xE0);
  for (std::uint16_t t = 0; t < options.tracks; ++t) {
    Bytes data = track_data(options, t, rng);
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    put_u32be(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  }
  return out;
}

bool parse_number(const char* text, unsigned long long max, unsigned long long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtoull(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && out <= max;
}

int write_generated(const char* tool, const char* path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "%s: cannot write %s\n", tool, path);
    return 1;
  }
  std::fprintf(stderr, "%s: wrote %zu bytes to %s\n", tool, bytes.size(), path);
  return 0;
}

}  // namespace tracksmith::bench