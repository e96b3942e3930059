#include "tracksmith/smf/decode.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tracksmith/smf/reader.hpp"
#include "testutil/midi_builder.hpp"

using namespace tracksmith;

namespace {

using testutil::Bytes;
using testutil::MidiBuilder;
using testutil::TrackBuilder;

// Records what the decoder hands over, and whether the calls came in the
// promised order (events first, at most one damage note last).
struct RecordingSink {
  std::vector<smf::Event> events;
  std::optional<smf::TrackDamage> damage_note;
  int damage_calls = 0;
  bool event_after_damage = false;

  void event(const smf::Event& e) {
    if (damage_calls > 0) event_after_damage = true;
    events.push_back(e);
  }
  void damage(std::size_t byte_offset, std::string reason) {
    ++damage_calls;
    damage_note = smf::TrackDamage{byte_offset, std::move(reason)};
  }
};

static_assert(smf::EventSink<RecordingSink>);

void expect_same_event(const smf::Event& a, const smf::Event& b) {
  EXPECT_EQ(a.delta, b.delta);
  EXPECT_EQ(a.kind, b.kind);
  EXPECT_EQ(a.channel, b.channel);
  EXPECT_EQ(a.data1, b.data1);
  EXPECT_EQ(a.data2, b.data2);
  EXPECT_EQ(a.payload_offset, b.payload_offset);
  EXPECT_EQ(a.payload_size, b.payload_size);
}

struct SinkCase {
  const char* name;
  Bytes track;
  std::size_t events;                  ///< events both paths must see
  std::optional<std::size_t> offset;   ///< damage offset; none: no damage note
};

Bytes concat(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// The track data of every case starts at byte 22 of the file.
TEST(SmfDecodeEvents, SinkSeesExactlyWhatTheTrackStores) {
  const Bytes well_formed = TrackBuilder()
                                .name("Lead")
                                .tempo(500000)
                                .program(0, 1, 33)
                                .note_on(0, 1, 60, 100)
                                .bend(10, 1, 12288)
                                .controller(0, 1, 64, 127)
                                .note_off(96, 1, 60, 20)
                                .end()
                                .bytes();
  const Bytes running = TrackBuilder()
                            .note_on(0, 0, 60, 64)
                            .note_on(5, 0, 62, 70, true)
                            .note_on(5, 0, 60, 0, true)
                            .note_on(0x0FFFFFFF, 0, 62, 0, true)
                            .bytes();
  const std::vector<SinkCase> cases = {
      {"empty track", {}, 0, std::nullopt},
      {"well-formed with name, tempo, bend and pedal", well_formed, 8, std::nullopt},
      {"running status and a four-byte delta", running, 4, std::nullopt},
      {"sysex, escape and metas", TrackBuilder()
                                      .sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
                                      .sysex(3, {0x01, 0x02}, 0xF7)
                                      .meta(0, 0x54, {0x60, 0, 0, 0, 0})
                                      .meta(0, 0x58, {4, 2, 24, 8})
                                      .meta(0, 0x59, {0xFE, 0})
                                      .meta(0, 0x51, {0x07, 0xA1})
                                      .meta(0, 0x7F, {0x00, 0x00, 0x41})
                                      .meta(0, 0x33, {})
                                      .end()
                                      .end()
                                      .bytes(),
       10, std::nullopt},
      {"data byte with the top bit", {0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x3C, 0x9C}, 1, 26},
      {"running status missing", {0x00, 0x3C, 0x40}, 0, 22},
      {"running status cleared by meta",
       {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x00}, 2, 30},
      {"system common", {0x00, 0xF3, 0x01}, 0, 22},
      {"realtime", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xF8}, 1, 26},
      {"channel message cut short", {0x00, 0xC0, 0x05, 0x00, 0xC0}, 1, 25},
      {"end inside a delta", {0x00, 0x90, 0x3C, 0x40, 0x81}, 1, 26},
      {"end after a delta", {0x00, 0x90, 0x3C, 0x40, 0x05}, 1, 26},
      {"sysex past the end", {0x00, 0xF0, 0x05, 0x01, 0x02}, 1, 22},
      {"escape without length", {0x00, 0xF7}, 1, 22},
      {"sysex length cut short", {0x00, 0xF0, 0x81}, 1, 22},
      {"meta without type", {0x00, 0xFF}, 0, 22},
      {"meta without length", {0x00, 0xFF, 0x03}, 1, 22},
      {"meta past the end", concat({0x00, 0xFF, 0x05, 0x81, 0x48}, Bytes(12, 'x')), 1, 22},
      {"key signature of 1 byte", {0x00, 0xFF, 0x59, 0x01, 0x00, 0x00, 0x90, 0x3C, 0x40}, 0, 22},
      {"smpte offset out of range", {0x00, 0xFF, 0x54, 0x05, 0x00, 60, 0, 0, 0}, 0, 22},
      {"padding after end of track", {0x00, 0xFF, 0x2F, 0x00, 0, 0, 0}, 1, std::nullopt},
      {"end of track without length", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F}, 2,
       std::nullopt},
      {"bad data after end of track", {0x00, 0xFF, 0x2F, 0x00, 0x00, 0x90, 0x3C, 0x9C}, 1,
       std::nullopt},
      {"short sysex after end of track", {0x00, 0xFF, 0x2F, 0x00, 0x00, 0xF0, 0x05, 0x01}, 2,
       std::nullopt},
  };
  for (const SinkCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = MidiBuilder().chunk("MTrk", c.track).bytes();
    auto framing = smf::frame(file);
    ASSERT_TRUE(framing.has_value());
    ASSERT_EQ(framing->chunks.size(), 1u);

    smf::Track stored;
    smf::decode_track(framing->chunks[0], stored);
    RecordingSink sink;
    smf::decode_events(framing->chunks[0], sink);

    EXPECT_EQ(sink.events.size(), c.events);
    ASSERT_EQ(sink.events.size(), stored.events.size());
    for (std::size_t i = 0; i < stored.events.size(); ++i) {
      SCOPED_TRACE(i);
      expect_same_event(sink.events[i], stored.events[i]);
    }
    EXPECT_FALSE(sink.event_after_damage);
    EXPECT_LE(sink.damage_calls, 1);
    ASSERT_EQ(sink.damage_note.has_value(), c.offset.has_value());
    ASSERT_EQ(stored.damage.has_value(), c.offset.has_value());
    if (c.offset) {
      EXPECT_EQ(sink.damage_note->byte_offset, *c.offset);
      EXPECT_EQ(stored.damage->byte_offset, *c.offset);
      EXPECT_FALSE(sink.damage_note->reason.empty());
      EXPECT_EQ(sink.damage_note->reason, stored.damage->reason);
    }
  }
}

// A reused track keeps no event or damage note of the track decoded before.
TEST(SmfDecodeEvents, ReusedTrackStartsClean) {
  const Bytes file = MidiBuilder()
                         .chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xF3})
                         .chunk("MTrk", {0x00, 0xC0, 0x05})
                         .bytes();
  auto framing = smf::frame(file);
  ASSERT_TRUE(framing.has_value());
  ASSERT_EQ(framing->chunks.size(), 2u);
  smf::Track track;
  smf::decode_track(framing->chunks[0], track);
  ASSERT_TRUE(track.damage.has_value());
  EXPECT_EQ(track.events.size(), 1u);
  smf::decode_track(framing->chunks[1], track);
  EXPECT_FALSE(track.damage.has_value());
  ASSERT_EQ(track.events.size(), 1u);
  EXPECT_EQ(track.events[0].kind, smf::EventKind::ProgramChange);
  EXPECT_EQ(track.events[0].data1, 5u);
}

}  // namespace
