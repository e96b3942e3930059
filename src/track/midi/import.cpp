// The import driver: parses the file, scans each track once (note pairing,
// sustain pedal, programs, pitch bends and their range, name), builds one
// layer per track with notes, runs motif extraction and assembles the
// document. What the document cannot carry is counted and reported.

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <sched.h>

#include "tracksmith/smf/decode.hpp"
#include "tracksmith/smf/reader.hpp"
#include "detail/motif_scan.hpp"
#include "detail/note_parts.hpp"
#include "detail/text.hpp"
#include "tracksmith/track/midi/import.hpp"

namespace tracksmith::track::midi {

static_assert(kMaxInputBytes == smf::kMaxInputBytes, "the import takes what the reader takes");

namespace {

constexpr std::size_t CHANNELS = 16;
constexpr std::size_t KEYS = 128;
constexpr std::uint8_t SUSTAIN_PEDAL = 64;
constexpr std::uint8_t DATA_ENTRY = 6;
constexpr std::uint8_t CHANNEL_VOLUME = 7;
constexpr std::uint8_t PAN = 10;
constexpr std::uint8_t EXPRESSION = 11;
constexpr std::uint8_t DATA_ENTRY_FINE = 38;
constexpr std::uint8_t NRPN_FINE = 98;
constexpr std::uint8_t NRPN_COARSE = 99;
constexpr std::uint8_t RPN_FINE = 100;
constexpr std::uint8_t RPN_COARSE = 101;
constexpr std::size_t MOTIF_MIN_NOTES = 8;
constexpr std::size_t MOTIF_MAX_NOTES = 1500;

// A sounding note: where it began, and where the channel's wheel stood then.
struct ActiveNote {
  bool sounding = false;
  std::uint32_t start = 0;
  std::uint8_t velocity = 0;
  float start_bend = 0.0f;
};

struct SustainedNote {
  std::uint32_t start = 0;
  std::uint8_t channel = 0;
  std::uint8_t key = 0;
  std::uint8_t velocity = 0;
  float start_bend = 0.0f;
};

// The notes released while their channel's pedal was down, in release order.
// A note-on takes the first one of its channel and key, a pedal release takes
// all of its channel. Entries are kept per channel with a chain per key, so
// neither searches the whole list: with every key of every channel held (up
// to 2,048 notes), a long track would otherwise scan them on each note-on.
class SustainedNotes {
 public:
  void push(const SustainedNote& note) {
    if (!links_) {
      links_ = std::make_unique<KeyLinks>();
      reset_links_all();
    }
    auto& list = lists_[note.channel];
    const auto index = static_cast<std::int32_t>(list.size());
    list.push_back(Entry{note, next_sequence_++, -1, true});
    Link& link = (*links_)[note.channel][note.key];
    if (link.tail >= 0) {
      list[static_cast<std::size_t>(link.tail)].next_same_key = index;
    } else {
      link.head = index;
    }
    link.tail = index;
  }

  /// Removes the earliest released note of this channel and key and hands
  /// it to `finish`, if there is one.
  template <class F>
  void take_first(std::uint8_t channel, std::uint8_t key, F&& finish) {
    if (!links_) return;
    Link& link = (*links_)[channel][key];
    if (link.head < 0) return;
    Entry& entry = lists_[channel][static_cast<std::size_t>(link.head)];
    link.head = entry.next_same_key;
    if (link.head < 0) link.tail = -1;
    entry.alive = false;
    finish(entry.note);
  }

  /// Hands every note of the channel to `finish`, in release order, and forgets them.
  template <class F>
  void release_channel(std::uint8_t channel, F&& finish) {
    auto& list = lists_[channel];
    if (list.empty()) return;
    for (const Entry& entry : list) {
      if (entry.alive) finish(entry.note);
    }
    list.clear();
    for (Link& link : (*links_)[channel]) link = Link{};
  }

  /// Hands every remaining note to `finish`, in release order across channels.
  template <class F>
  void release_all(F&& finish) {
    std::vector<const Entry*> remaining;
    for (const auto& list : lists_) {
      for (const Entry& entry : list) {
        if (entry.alive) remaining.push_back(&entry);
      }
    }
    std::sort(remaining.begin(), remaining.end(),
              [](const Entry* a, const Entry* b) { return a->sequence < b->sequence; });
    for (const Entry* entry : remaining) finish(entry->note);
    for (auto& list : lists_) list.clear();
    if (links_) reset_links_all();
  }

 private:
  struct Entry {
    SustainedNote note;
    std::uint64_t sequence = 0;
    std::int32_t next_same_key = -1;
    bool alive = true;
  };
  struct Link {
    std::int32_t head = -1;
    std::int32_t tail = -1;
  };
  using KeyLinks = std::array<std::array<Link, KEYS>, CHANNELS>;

  void reset_links_all() {
    for (auto& channel : *links_) {
      for (Link& link : channel) link = Link{};
    }
  }

  std::array<std::vector<Entry>, CHANNELS> lists_;
  std::unique_ptr<KeyLinks> links_;  // allocated with the first sustained note
  std::uint64_t next_sequence_ = 0;
};

// A channel's pitch bends so far, in file order. The list is a sequence of
// runs of non-decreasing ticks: ticks decrease only when the tick counter
// wraps. The current run is searched directly. Each finished run becomes a
// block of its positions ordered by (tick, position), and blocks merge while
// the newest is at least as large as the one before it, so there are at most
// log2(bends) blocks and each bend is merged at most that often. A note
// takes the bends of its tick range from every block and puts them back into
// list order; a note whose tick range is empty or inverted selects none.
// Against an ordered set of (tick, position) built at the first wrap, the
// wrap-notes crafted file took 81 ms of CPU instead of 183 ms (medians of
// three alternating sets of ten runs, document to /dev/null).
class BendList {
 public:
  void add(std::uint32_t tick, float semitones) {
    if (!bends_.empty() && tick < bends_.back().tick) close_run();
    bends_.push_back(Bend{tick, semitones});
  }

  /// Forgets every bend, keeping the room for the next track.
  void clear() {
    bends_.clear();
    run_start_ = 0;
    blocks_.clear();
  }

  /// The bends whose tick lies in [start, end), in list order; valid until
  /// the next call.
  std::span<const Bend> inside(std::uint32_t start, std::uint32_t end) {
    if (start >= end || bends_.empty()) return {};
    const auto run = bends_.begin() + static_cast<std::ptrdiff_t>(run_start_);
    const auto last = lower_bound_from_back(run, bends_.end(), end);
    const auto first = lower_bound_from_back(run, last, start);
    if (blocks_.empty()) return {first, last};

    positions_.clear();
    const auto tick_below = [this](std::uint32_t position, std::uint32_t t) {
      return bends_[position].tick < t;
    };
    for (const auto& block : blocks_) {
      const auto from = std::lower_bound(block.begin(), block.end(), start, tick_below);
      const auto to = std::lower_bound(from, block.end(), end, tick_below);
      positions_.insert(positions_.end(), from, to);
    }
    std::sort(positions_.begin(), positions_.end());
    hits_.clear();
    for (const std::uint32_t position : positions_) hits_.push_back(bends_[position]);
    hits_.insert(hits_.end(), first, last);  // the current run comes last in the list
    return hits_;
  }

 private:
  void close_run() {
    std::vector<std::uint32_t> block(bends_.size() - run_start_);
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::uint32_t>(run_start_ + k);
    run_start_ = bends_.size();
    const auto before = [this](std::uint32_t a, std::uint32_t b) {
      return bends_[a].tick < bends_[b].tick || (bends_[a].tick == bends_[b].tick && a < b);
    };
    while (!blocks_.empty() && blocks_.back().size() <= block.size()) {
      std::vector<std::uint32_t> merged(blocks_.back().size() + block.size());
      std::merge(blocks_.back().begin(), blocks_.back().end(), block.begin(), block.end(),
                 merged.begin(), before);
      blocks_.pop_back();
      block = std::move(merged);
    }
    blocks_.push_back(std::move(block));
  }

  using Position = std::vector<Bend>::const_iterator;

  // std::lower_bound by tick over [begin, end), searched from the end: the
  // bends of a finishing note are the last few of the run, so the search
  // steps back 1, 2, 4, ... bends before it halves. On the 27 MB file
  // generated with --bends (300,000 bends a track) binary searches of the
  // whole run took 1.268 s of CPU instead of 1.226 s (medians of 9
  // alternating runs, one thread), 9.91 billion instructions instead of
  // 9.60 billion.
  static Position lower_bound_from_back(Position begin, Position end, std::uint32_t tick) {
    const auto by_tick = [](const Bend& b, std::uint32_t t) { return b.tick < t; };
    std::ptrdiff_t step = 1;
    Position high = end;  // every bend from here on has a tick at or after `tick`
    while (end - begin > step && (end - step)->tick >= tick) {
      high = end - step;
      step *= 2;
    }
    const Position low = end - begin > step ? end - step : begin;
    return std::lower_bound(low, high, tick, by_tick);
  }

  std::vector<Bend> bends_;
  std::size_t run_start_ = 0;  // where the current run of non-decreasing ticks begins
  std::vector<std::vector<std::uint32_t>> blocks_;  // finished runs, sizes decreasing
  std::vector<std::uint32_t> positions_;           // look-up scratch
  std::vector<Bend> hits_;
};

// 2^-13 scales the signed 14-bit offset to +-1, times the channel's bend
// range in semitones (2 unless the file sets another).
float bend_semitones(std::uint16_t raw, float range) {
  const auto offset = static_cast<std::int16_t>(static_cast<std::uint16_t>(raw - 8192u));
  return static_cast<float>(offset) * (1.0f / 8192.0f) * range;
}

// A channel's registered-parameter state: which parameter data entry goes
// to, and the pitch-bend range it sets (registered parameter 0, 0).
struct ParameterState {
  std::uint8_t rpn_coarse = 127;  // 127, 127 is the null parameter
  std::uint8_t rpn_fine = 127;
  bool registered = true;  // false while a non-registered parameter is selected
  std::uint8_t semitones = 2;
  std::uint8_t cents = 0;
  float range = 2.0f;  // semitones + cents / 100

  bool bend_range_selected() const { return registered && rpn_coarse == 0 && rpn_fine == 0; }
  void set_range(std::uint8_t new_semitones, std::uint8_t new_cents) {
    semitones = new_semitones;
    cents = new_cents;
    range = static_cast<float>(semitones) + static_cast<float>(cents) / 100.0f;
  }
};

// What the file holds that the document does not carry: counted per track
// while it is scanned, then over all tracks in file order, with the tracks
// (ascending) that hold each kind.
struct Unconverted {
  struct Tally {
    std::size_t events = 0;
    std::vector<std::uint32_t> tracks;

    /// Adds the tally of the later track `track`.
    void absorb(const Tally& later, std::uint32_t track) {
      events += later.events;
      if (later.events > 0) tracks.push_back(track);
    }
  };
  Tally volume;  // every controller-7 event
  std::optional<std::uint8_t> first_volume;
  bool volumes_differ = false;
  Tally pan;         // controller 10 off centre
  Tally expression;  // controller 11 below full
  std::optional<std::pair<std::uint32_t, std::uint64_t>> meter;  // first time signature not 4/4
  std::size_t texts = 0;  // markers, cue points and lyrics

  /// Adds what the later track `track` holds.
  void absorb(const Unconverted& later, std::uint32_t track) {
    volume.absorb(later.volume, track);
    if (!first_volume) {
      first_volume = later.first_volume;
    } else if (later.first_volume && *later.first_volume != *first_volume) {
      volumes_differ = true;
    }
    volumes_differ |= later.volumes_differ;
    pan.absorb(later.pan, track);
    expression.absorb(later.expression, track);
    if (!meter) meter = later.meter;
    texts += later.texts;
  }
};

// "1 note", "2 notes".
std::string counted(std::size_t count, std::string_view noun) {
  std::string text = std::to_string(count);
  text += ' ';
  text += noun;
  if (count != 1) text += 's';
  return text;
}

// "track 3" or "tracks 2, 3, 5".
std::string track_list(const std::vector<std::uint32_t>& tracks) {
  std::string text = tracks.size() == 1 ? "track " : "tracks ";
  for (std::size_t k = 0; k < tracks.size(); ++k) {
    if (k > 0) text += ", ";
    text += std::to_string(tracks[k]);
  }
  return text;
}

// The warnings for what the document does not carry, in their fixed order.
void warn_unconverted(const Unconverted& file, std::vector<std::string>& warnings) {
  const auto tally = [&warnings](const Unconverted::Tally& t, std::string_view what) {
    if (t.events == 0) return;
    warnings.push_back(std::string(what) + " not converted: " + counted(t.events, "event") +
                       " in " + track_list(t.tracks));
  };
  // One volume everywhere keeps the parts' balance; only differing ones lose it.
  if (file.volumes_differ) tally(file.volume, "channel volume (controller 7)");
  tally(file.pan, "pan (controller 10)");
  tally(file.expression, "expression (controller 11)");
  if (file.meter) {
    warnings.push_back("time signature " + std::to_string(file.meter->first) + "/" +
                       std::to_string(file.meter->second) +
                       " not converted: the song is in 4/4");
  }
  if (file.texts > 0) {
    warnings.push_back("markers, cue points and lyrics not converted: " +
                       counted(file.texts, "event"));
  }
}

// The first usable tempo of the file and the number of tempo events, counted
// across tracks in file order.
struct TempoScan {
  std::size_t count = 0;
  std::optional<std::uint32_t> first_nonzero;

  /// Adds the tempo events of a later track.
  void absorb(const TempoScan& later) {
    count += later.count;
    if (!first_nonzero) first_nonzero = later.first_nonzero;
  }
};

// The notes list of a track is reserved before its events are seen. Every
// note takes a note-on and a note-off (or a note-on at velocity 0) of at
// least 3 bytes each, so a chunk holds at most one note per 6 bytes; typical
// files take 6 to 9. Beyond the cap (a million notes, a chunk of 6 MB)
// the list grows as needed instead, so a huge chunk of other events does
// not claim memory for notes it cannot have.
constexpr std::size_t MAX_RESERVED_NOTES = std::size_t{1} << 20;

std::size_t reserved_notes(std::size_t chunk_bytes) {
  return std::min(chunk_bytes / 6, MAX_RESERVED_NOTES);
}

class TrackScan {
 public:
  TrackScan(const smf::Framing& file, float ticks_per_beat)
      : file_(file), ticks_per_beat_(ticks_per_beat) {}

  /// Scans one track as it is decoded: the decoder hands each event to
  /// event() and a cut-short track's note to damage(). One scan serves every
  /// track of the file; each starts from the fresh state, and only what the
  /// previous track touched is cleared. Against a fresh scan per track this
  /// took the tiny-tracks crafted file (65,535 one-note tracks) from 74 ms
  /// to 65 ms of CPU and motif-8 (21,977 tracks) from 82 ms to 77 ms
  /// (medians of three alternating sets of ten runs).
  /// The track's tempo events and what the document does not carry are
  /// counted into `tempo` and `unconverted`.
  void run(const smf::TrackChunk& chunk, TempoScan& tempo, Unconverted& unconverted) {
    reset();
    tempo_ = &tempo;
    unconverted_ = &unconverted;
    notes_.reserve(reserved_notes(chunk.data.size()));
    smf::decode_events(chunk, *this);
    sustained_.release_all([this](const SustainedNote& held) { finish(held); });
  }

  /// The next event of the track, in file order.
  [[gnu::always_inline]] void event(const smf::Event& e) {
    tick_ += e.delta;  // unsigned: wraps like the reference counter
    // Notes are most of the events. They are handled here, where the
    // decoder's event still sits in registers; the rest goes to handle().
    if (e.kind == smf::EventKind::NoteOn && e.data2 > 0) {
      note_on(e.channel, e.data1, e.data2);
    } else if (e.kind == smf::EventKind::NoteOn || e.kind == smf::EventKind::NoteOff) {
      note_off(e.channel, e.data1);
    } else {
      handle(e);
    }
  }
  /// Where and why the decoder cut the track short; comes after the last event.
  void damage(std::size_t byte_offset, std::string reason) {
    damage_ = smf::TrackDamage{byte_offset, std::move(reason)};
  }

  /// The track's notes, to keep. The reservation is a guess from the
  /// chunk's size; a track that kept far fewer notes (a chunk that is mostly
  /// system exclusive data) gives the rest back, so its layer holds no more
  /// unused room than a list grown by doubling would.
  std::vector<song::Note> take_notes() {
    if (notes_.capacity() / 2 > notes_.size()) notes_.shrink_to_fit();
    return std::move(notes_);
  }
  /// The track's notes in the scan's own list, which the next track reuses.
  std::vector<song::Note>& notes() { return notes_; }
  /// Notes still sounding at the end of the track: they never ended.
  std::size_t unreleased() const { return sounding_; }
  /// The track's name, moved out: the next track's scan starts without one.
  std::optional<std::string> take_name() { return std::exchange(name_, std::nullopt); }
  const std::optional<smf::TrackDamage>& damage_note() const { return damage_; }

 private:
  // Every event but a note-on or note-off.
  void handle(const smf::Event& event) {
    const std::uint8_t ch = event.channel;
    switch (event.kind) {
      case smf::EventKind::Controller:
        controller(ch, event.data1, event.data2);
        break;
      case smf::EventKind::ProgramChange:
        program_[ch] = event.data1;
        break;
      case smf::EventKind::PitchBend: {
        bent_ |= static_cast<std::uint16_t>(1u << ch);
        const float semitones = bend_semitones(event.bend_value(), parameters_[ch].range);
        bends_[ch].add(tick_, semitones);
        wheel_[ch] = semitones;
        break;
      }
      case smf::EventKind::Meta:
        if (event.meta_kind() == smf::MetaKind::Tempo) {
          ++tempo_->count;
          // A tempo of 0 microseconds per beat would make the song infinitely
          // fast; it is counted but never used.
          const std::uint32_t value = file_.tempo(event);
          if (!tempo_->first_nonzero && value != 0) tempo_->first_nonzero = value;
        } else if (!name_ && (event.meta_kind() == smf::MetaKind::TrackName ||
                       event.meta_kind() == smf::MetaKind::InstrumentName)) {
          std::string name = detail::clean_track_name(file_.payload(event));
          if (!name.empty()) {
            name_ = std::move(name);
            named_sound_ = detail::sound_named(*name_);
          }
        } else if (event.meta_kind() == smf::MetaKind::TimeSignature) {
          meter(file_.payload(event));
        } else if (event.meta_type() >= 0x05 && event.meta_type() <= 0x07) {
          ++unconverted_->texts;  // lyric, marker, cue point
        }
        break;
      default:
        break;
    }
  }

  void controller(std::uint8_t ch, std::uint8_t number, std::uint8_t value) {
    ParameterState& parameter = parameters_[ch];
    switch (number) {
      case SUSTAIN_PEDAL:
        pedal(ch, value >= 64);
        break;
      case RPN_COARSE:
        parameter.rpn_coarse = value;
        parameter.registered = true;
        break;
      case RPN_FINE:
        parameter.rpn_fine = value;
        parameter.registered = true;
        break;
      case NRPN_COARSE:
      case NRPN_FINE:
        parameter.registered = false;
        break;
      case DATA_ENTRY:
        if (parameter.bend_range_selected()) parameter.set_range(value, parameter.cents);
        break;
      case DATA_ENTRY_FINE:
        if (parameter.bend_range_selected()) parameter.set_range(parameter.semitones, value);
        break;
      case CHANNEL_VOLUME:
        ++unconverted_->volume.events;
        if (!unconverted_->first_volume) {
          unconverted_->first_volume = value;
        } else if (*unconverted_->first_volume != value) {
          unconverted_->volumes_differ = true;
        }
        break;
      case PAN:
        if (value != 64) ++unconverted_->pan.events;
        break;
      case EXPRESSION:
        if (value != 127) ++unconverted_->expression.events;
        break;
      default:
        break;
    }
  }

  // The first time signature other than 4/4 is remembered; a denominator
  // exponent beyond 31 names no meter and is passed over.
  void meter(std::span<const std::uint8_t> payload) {
    if (unconverted_->meter) return;
    const std::uint8_t numerator = payload[0];
    const std::uint8_t exponent = payload[1];
    if (exponent > 31 || (numerator == 4 && exponent == 2)) return;
    unconverted_->meter.emplace(numerator, std::uint64_t{1} << exponent);
  }

  void reset() {
    tick_ = 0;
    program_.fill(0);
    sustain_.fill(false);
    // Of a key's slot only whether it sounds outlives its note: the rest is
    // set when a note starts. A track that released every note (most do)
    // leaves nothing to clear. Clearing every touched channel's slots instead
    // cost the tiny-tracks crafted file (65,535 one-note tracks) 0.212 s of
    // CPU against 0.179 s (medians of 15 alternating runs), 560 million
    // instructions against 476 million (one thread).
    for (std::size_t ch = 0; ch < CHANNELS; ++ch) {
      if (sounding_ != 0 && (touched_ >> ch & 1u) != 0) {
        for (ActiveNote& slot : active_[ch]) slot.sounding = false;
      }
      if ((bent_ >> ch & 1u) != 0) bends_[ch].clear();
    }
    touched_ = 0;
    bent_ = 0;
    sounding_ = 0;
    wheel_.fill(0.0f);
    parameters_.fill(ParameterState{});
    name_.reset();
    damage_.reset();
    named_sound_.reset();
    notes_.clear();  // a list left by the previous track keeps its room
  }

  void note_on(std::uint8_t ch, std::uint8_t key, std::uint8_t velocity) {
    touched_ |= static_cast<std::uint16_t>(1u << ch);
    sustained_.take_first(ch, key, [this](const SustainedNote& held) { finish(held); });
    ActiveNote& slot = active_[ch][key];
    if (!slot.sounding) {
      ++sounding_;
    } else if (slot.start != tick_) {
      // A key struck again ends its sounding note where the new one begins.
      // Struck twice at one tick, the two are one note.
      finish(slot.start, ch, key, slot.velocity, slot.start_bend);
    }
    slot = ActiveNote{true, tick_, velocity, wheel_[ch]};
  }

  void note_off(std::uint8_t ch, std::uint8_t key) {
    ActiveNote& slot = active_[ch][key];
    if (!slot.sounding) return;
    slot.sounding = false;
    --sounding_;
    if (sustain_[ch]) {
      sustained_.push(SustainedNote{slot.start, ch, key, slot.velocity, slot.start_bend});
    } else {
      finish(slot.start, ch, key, slot.velocity, slot.start_bend);
    }
  }

  void pedal(std::uint8_t ch, bool down) {
    if (!down && sustain_[ch]) {
      sustained_.release_channel(ch, [this](const SustainedNote& held) { finish(held); });
    }
    sustain_[ch] = down;
  }

  void finish(const SustainedNote& held) {
    finish(held.start, held.channel, held.key, held.velocity, held.start_bend);
  }

  // Finishes a note at the current tick. The same as build_note, with the
  // track name's sound looked up once and the note built in place. The sound
  // names live in the instrument tables for the whole run, so every note
  // borrows its name instead of copying it. The parts come as values, not as
  // a record just stored byte by byte, which would have to be read back.
  void finish(std::uint32_t start, std::uint8_t ch, std::uint8_t key, std::uint8_t velocity,
              float start_bend) {
    const std::uint32_t end = tick_;
    const auto sound = common::CompactText::borrow_static(
        detail::choose_sound_for(ch, key, named_sound_, program_[ch]));
    detail::fill_note(notes_.emplace_back(), sound, ch, key, velocity, start, end, ticks_per_beat_,
                      bends_[ch].inside(start, end), start_bend);
  }

  const smf::Framing& file_;
  float ticks_per_beat_;
  TempoScan* tempo_ = nullptr;
  Unconverted* unconverted_ = nullptr;
  std::uint32_t tick_ = 0;
  std::array<std::uint8_t, CHANNELS> program_{};
  std::array<bool, CHANNELS> sustain_{};
  std::array<std::array<ActiveNote, KEYS>, CHANNELS> active_{};
  std::uint16_t touched_ = 0;  // channels with a note-on in this track
  std::uint16_t bent_ = 0;     // channels with a bend in this track
  std::size_t sounding_ = 0;   // entries of active_ that are sounding
  std::array<float, CHANNELS> wheel_{};  // each channel's last bend, in semitones
  std::array<ParameterState, CHANNELS> parameters_{};
  SustainedNotes sustained_;
  std::array<BendList, CHANNELS> bends_;
  std::optional<std::string> name_;
  std::optional<smf::TrackDamage> damage_;
  std::optional<std::string_view> named_sound_;  // sound_named(*name_), once per name
  std::vector<song::Note> notes_;
};

// A set of names: the names in a list, and an open-addressing table of
// their positions in it. A look-up probes one flat array and compares a
// stored hash before a name; nothing is allocated per name beyond its text.
// On the tiny-tracks crafted file (65,535 named tracks) this took the CPU
// time from 98 ms to 66 ms (medians of three alternating sets of ten runs)
// against a node-based hash set, whose scattered nodes cost cache misses to
// insert and a free each at the end.
class NameSet {
 public:
  void reserve(std::size_t count) {
    names_.reserve(count);
    hashes_.reserve(count);
    if (2 * count > slots_.size()) rebuild(std::bit_ceil(2 * count));
  }

  /// Adds the name; false when it was there already.
  bool insert(const std::string& name) {
    if (2 * (names_.size() + 1) > slots_.size()) rebuild(std::max<std::size_t>(16, 2 * slots_.size()));
    const std::uint64_t hash = std::hash<std::string_view>{}(name);
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
      const std::size_t k = slots_[slot] - 1;
      if (hashes_[k] == hash && names_[k] == name) return false;
    }
    names_.push_back(name);
    hashes_.push_back(hash);
    slots_[slot] = static_cast<std::uint32_t>(names_.size());
    return true;
  }

 private:
  void rebuild(std::size_t slot_count) {
    slots_.assign(slot_count, 0);
    const std::size_t mask = slot_count - 1;
    for (std::size_t k = 0; k < hashes_.size(); ++k) {
      std::size_t slot = hashes_[k] & mask;
      while (slots_[slot] != 0) slot = (slot + 1) & mask;
      slots_[slot] = static_cast<std::uint32_t>(k + 1);
    }
  }

  std::vector<std::string> names_;
  std::vector<std::uint64_t> hashes_;  // of names_, position for position
  std::vector<std::uint32_t> slots_;   // position + 1 in names_, or 0 when free
};

// Layer entry names, unique in layer order: a name already given becomes
// "{name} {k}" with the first k from 2 up that is free.
class UniqueNames {
 public:
  void reserve(std::size_t count) { taken_.reserve(count); }

  std::string take(const std::string& name) {
    if (taken_.insert(name)) return name;
    // For each name, the counter after the last one it was given: every
    // "{name} {k}" below it was already taken then and still is, so trying
    // again from there gives the same names without rescanning (many tracks
    // of one name would otherwise cost quadratic time).
    std::uint32_t& counter = next_counter_.try_emplace(name, 2).first->second;
    std::string candidate;
    do {
      candidate = name + " " + std::to_string(counter);
      ++counter;
    } while (!taken_.insert(candidate));
    return candidate;
  }

 private:
  NameSet taken_;
  std::unordered_map<std::string, std::uint32_t> next_counter_;
};

// What one track gives: its notes (after motif extraction when it had
// between 8 and 1,500) and placements, or the text of its layer instead;
// its motifs; and what the merge in file order needs for names and warnings.
struct TrackOutcome {
  std::vector<song::Note> notes;
  std::optional<std::string> body;  // the layer's text, when written here
  std::vector<song::MotifInstance> instances;  // empty when written here
  MotifTable motifs;
  std::optional<std::string> name;
  std::optional<smf::TrackDamage> damage;
  std::size_t unreleased = 0;
  TempoScan tempo;
  Unconverted unconverted;
};

void scan_track(TrackScan& scan, detail::MotifScratch& motif_scratch, const smf::TrackChunk& chunk,
                std::uint32_t track, bool write_layer, TrackOutcome& out) {
  scan.run(chunk, out.tempo, out.unconverted);
  out.name = scan.take_name();
  out.damage = scan.damage_note();
  out.unreleased = scan.unreleased();
  std::vector<song::Note>& notes = scan.notes();
  if (notes.size() >= MOTIF_MIN_NOTES && notes.size() <= MOTIF_MAX_NOTES) {
    MotifResult found = detail::extract_motifs(std::move(notes), track, out.motifs, motif_scratch);
    notes = std::move(found.notes);
    out.instances = std::move(found.instances);
  }
  if (!write_layer) {
    out.notes = scan.take_notes();
    return;
  }
  if (notes.empty() && out.instances.empty()) return;
  // The layer as the merge makes it, less its entry name, which only the
  // merge in file order knows and which its body does not contain. Its
  // notes are the scan's list, lent and given back for the next track: with
  // a new list per track the 27 MB file peaked at 177 MiB instead of
  // 159 MiB, and took 0.12 s instead of 0.11 s to import, its pages freed and
  // touched again on every track. The body's room is reserved from the
  // notes (175 MiB when it grows by doubling instead). Its motif placements
  // go with the layer here, their text being in the body: kept in the model
  // until the end, they took the motif-8 crafted file (21,977 tracks of two
  // placements each) to a peak of 38.5 MiB instead of 29.6 MiB, and 0.104 s
  // of CPU instead of 0.096 s on 2 cores (medians of 11 alternating runs).
  song::Layer layer;
  layer.notes = std::move(notes);
  layer.motif_instances = std::move(out.instances);
  std::string body;
  body.reserve(64 * layer.notes.size() + 128 * layer.motif_instances.size());
  multisong::serialize_layer(layer, body);
  out.body = std::move(body);
  notes = std::move(layer.notes);
}

// Tracks are scanned in windows of this many, each window on every worker
// at once and then merged in file order, so that the outcomes held at a time
// do not grow with the number of chunks a file claims.
constexpr std::size_t TRACKS_PER_WINDOW = 256;

// Helper threads for the whole import: each window of tracks is handed to
// all of them at once, and the calling thread, which takes its share too,
// waits until every one has finished it. Starting threads for every window
// instead cost the tiny-tracks crafted file (65,535 tracks, 256 windows)
// 64 ms of CPU against 54 ms on one thread.
class Helpers {
 public:
  /// Starts up to `wanted` threads (fewer when the system has no more),
  /// the w-th running `job(w)` once for every window, w from 1.
  Helpers(unsigned wanted, std::function<void(unsigned)> job) : job_(std::move(job)) {
    for (unsigned w = 1; w <= wanted; ++w) {
      try {
        threads_.emplace_back([this, w] { serve(w); });
      } catch (const std::system_error&) {
        break;  // fewer threads: the others take the tracks
      }
    }
  }
  Helpers(const Helpers&) = delete;
  Helpers& operator=(const Helpers&) = delete;
  ~Helpers() {
    {
      const std::lock_guard lock(lock_);
      closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  /// Hands the window now set up to every helper.
  void start() {
    {
      const std::lock_guard lock(lock_);
      ++generation_;
      running_ = threads_.size();
    }
    wake_.notify_all();
  }
  /// Returns once every helper has finished the window.
  void wait() {
    std::unique_lock lock(lock_);
    idle_.wait(lock, [this] { return running_ == 0; });
  }

 private:
  void serve(unsigned w) {
    std::uint64_t seen = 0;
    for (;;) {
      {
        std::unique_lock lock(lock_);
        wake_.wait(lock, [&] { return closing_ || generation_ != seen; });
        if (closing_) return;
        seen = generation_;
      }
      job_(w);
      const std::lock_guard lock(lock_);
      if (--running_ == 0) idle_.notify_one();
    }
  }

  std::function<void(unsigned)> job_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::uint64_t generation_ = 0;
  std::size_t running_ = 0;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

// Inputs below this are scanned on the calling thread alone unless more
// threads are asked for: a second thread costs more than it saves there
// (its start, and a memory arena of its own to touch). Generated files, one
// process each, 30 runs: 272 kB took 4.6-4.9 ms on one thread against
// 4.9-5.5 ms on two, 1.1 MB 15.7-16.0 ms against 13.7-14.5 ms.
constexpr std::size_t SMALL_INPUT_BYTES = std::size_t{512} << 10;

// The processors this process may run on (its affinity, as taskset and
// container limits set it), at least one.
unsigned usable_processors() {
#ifdef __linux__
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
#endif
  return std::max(1u, std::thread::hardware_concurrency());
}

// Workers for a file: `requested`, by default one per processor this
// process may use (one for a small input), never more than the file has
// tracks. Scanning on every core took the 27 MB file (16 tracks) from
// 0.409 s to 0.351 s on 2 cores, and its variant with pitch bends from
// 1.69 s to 1.18 s (medians of 9 and 5 alternating runs).
unsigned worker_count(std::size_t tracks, std::size_t input_bytes, unsigned requested) {
  unsigned wanted = requested;
  if (wanted == 0) wanted = input_bytes < SMALL_INPUT_BYTES ? 1 : usable_processors();
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>({wanted, tracks, TRACKS_PER_WINDOW})));
}

}  // namespace

std::string MidiImportError::text() const {
  switch (kind) {
    case Kind::Parse:
      return "could not parse MIDI data: " + parse_error.message;
    case Kind::SmpteTimecode:
      return "SMPTE timecode timing is not supported";
    case Kind::NoNotes:
      return "no notes found";
  }
  return {};
}

common::Result<MidiImport, MidiImportError> song_from_midi(std::span<const std::uint8_t> bytes,
                                                           const ImportOptions& options) {
  auto framed = smf::frame(bytes);
  if (!framed) {
    MidiImportError error;
    error.kind = MidiImportError::Kind::Parse;
    error.parse_error = framed.error();
    return common::unexpected(std::move(error));
  }
  if (framed->header.timing.kind == smf::Timing::Kind::Timecode) {
    MidiImportError error;
    error.kind = MidiImportError::Kind::SmpteTimecode;
    return common::unexpected(std::move(error));
  }
  // Each track is scanned while it is decoded, so no list of its events is
  // ever held.
  const smf::Framing& file = *framed;
  const float ticks_per_beat = static_cast<float>(file.header.timing.ticks_per_beat);

  MidiImport result;
  multisong::TrackSections& sections = result.document.sections;
  multisong::Song song;
  UniqueNames names;
  MotifTable motif_table;
  std::uint32_t track_counter = 0;
  TempoScan tempo;
  Unconverted unconverted;
  std::vector<std::string> damage_warnings;  // and notes never released, per track
  // Room for one layer per track chunk, up to the most tracks a header can
  // count (so that a file of countless empty chunks claims no more than 25 MB
  // of address space): growing these lists by doubling touches each of them
  // about twice over. On the tiny-tracks crafted file (65,535 one-note
  // tracks) the reservations took the CPU time from 94 ms to 87 ms (medians
  // of three alternating sets of ten runs).
  const std::size_t expected_layers = std::min<std::size_t>(framed->chunks.size(), 65535);
  sections.layers.entries.reserve(expected_layers);
  song.layers.reserve(expected_layers);
  names.reserve(expected_layers);
  if (options.write_layers) result.layer_bodies.reserve(expected_layers);
  const unsigned workers = worker_count(framed->chunks.size(), bytes.size(), options.threads);
  // Each worker's scan state and motif buffers serve all of its tracks.
  // A motif scan that allocated its buffers for each track instead took the
  // motif-8 crafted file (21,977 tracks of 8 notes) 0.221 s of CPU instead
  // of 0.207 s (medians of 15 alternating runs), 541 million instructions
  // instead of 514 million (one thread).
  std::vector<std::unique_ptr<TrackScan>> scans;
  std::vector<detail::MotifScratch> motif_scratch(workers);
  for (unsigned w = 0; w < workers; ++w) scans.push_back(std::make_unique<TrackScan>(file, ticks_per_beat));
  std::vector<TrackOutcome> window;
  std::size_t first = 0;
  std::size_t count = 0;
  // Each worker takes the next track of the window until none is left.
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex failure_lock;
  const auto work = [&](TrackScan& scan, detail::MotifScratch& scratch) {
    try {
      for (std::size_t k = next++; k < count; k = next++) {
        const std::size_t chunk = first + k;
        scan_track(scan, scratch, framed->chunks[chunk], static_cast<std::uint32_t>(chunk + 1),
                   options.write_layers && chunk + 1 < framed->chunks.size(), window[k]);
        if (options.chunk_done) options.chunk_done(framed->chunks[chunk].data);
      }
      // Out of tracks: the list lent to each layer goes now, while the
      // other workers may still scan.
      std::vector<song::Note>().swap(scan.notes());
    } catch (...) {
      const std::lock_guard lock(failure_lock);
      if (!failure) failure = std::current_exception();
      next = count;
    }
  };
  Helpers helpers(workers - 1, [&](unsigned w) { work(*scans[w], motif_scratch[w]); });
  for (; first < framed->chunks.size(); first += TRACKS_PER_WINDOW) {
    count = std::min(TRACKS_PER_WINDOW, framed->chunks.size() - first);
    window.clear();
    window.resize(count);
    next = 0;
    helpers.start();
    work(*scans[0], motif_scratch[0]);
    helpers.wait();
    if (failure) std::rethrow_exception(failure);

    for (TrackOutcome& track : window) {
      ++track_counter;
      tempo.absorb(track.tempo);
      unconverted.absorb(track.unconverted, track_counter);
      // Cut-short tracks lose events silently otherwise; say where and why.
      if (track.damage) {
        damage_warnings.push_back("track " + std::to_string(track_counter) + ": " +
                                  track.damage->reason + " at byte " +
                                  std::to_string(track.damage->byte_offset) +
                                  "; the rest of the track is ignored");
      }
      if (track.unreleased > 0) {
        damage_warnings.push_back("track " + std::to_string(track_counter) + ": " +
                                  counted(track.unreleased, "note") +
                                  " never released, not converted");
      }
      if (track.notes.empty() && track.instances.empty() && !track.body) continue;

      // Each layer goes straight into its entry, named in layer order.
      std::string name = track.name ? std::move(*track.name) : "Track " + std::to_string(track_counter);
      std::string entry_name = names.take(name);
      song.layers.push_back(entry_name);
      sections.layers.entries.push_back({std::move(entry_name), song::Layer{}});
      song::Layer& layer = sections.layers.entries.back().value;
      layer.name = std::move(name);
      layer.notes = std::move(track.notes);
      layer.motif_instances = std::move(track.instances);
      if (options.write_layers) result.layer_bodies.push_back(std::move(track.body));
      motif_table.merge(track.motifs);
    }
  }
  if (sections.layers.entries.empty()) {
    MidiImportError error;
    error.kind = MidiImportError::Kind::NoNotes;
    error.warnings = std::move(damage_warnings);  // they may be why there are none
    return common::unexpected(std::move(error));
  }

  result.warnings = std::move(damage_warnings);
  if (tempo.count >= 2) {
    result.warnings.push_back(std::to_string(tempo.count) +
                              " tempo events; using the first, tempo changes are dropped");
  }
  warn_unconverted(unconverted, result.warnings);
  song.tempo = tempo.first_nonzero ? 60000000.0f / static_cast<float>(*tempo.first_nonzero)
                                   : 120.0f;
  // The entries take the table's names and notes as they leave it.
  sections.motifs.entries.reserve(motif_table.size());
  while (!motif_table.empty()) {
    auto motif = motif_table.extract(motif_table.begin());
    sections.motifs.entries.push_back(
        {std::move(motif.key()), multisong::Motif{std::move(motif.mapped())}});
  }
  sections.songs.entries.push_back({"song", std::move(song)});
  result.document.leading_lines.push_back("@import std:instruments");
  result.song_name = "song";
  return result;
}

}  // namespace tracksmith::track::midi