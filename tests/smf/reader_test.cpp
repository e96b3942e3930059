#include "tracksmith/smf/reader.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "testutil/midi_builder.hpp"

using namespace tracksmith;

namespace {

using testutil::Bytes;
using testutil::MidiBuilder;
using testutil::TrackBuilder;
using namespace std::string_view_literals;

common::Result<smf::Smf> parse(const Bytes& b) { return smf::parse(b); }

// A format 1 file at 480 ticks with one track chunk holding `data`; the
// track data starts at byte 22.
Bytes one_track(const Bytes& data) { return MidiBuilder().chunk("MTrk", data).bytes(); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// ---------------------------------------------------------------- errors

struct ErrorCase {
  const char* name;
  Bytes input;
  std::string message;
  std::optional<std::size_t> offset;
};

TEST(SmfReaderErrors, EachFileLevelErrorHasItsTextAndOffset) {
  const Bytes midi = MidiBuilder().track(TrackBuilder().note_on(0, 0, 60, 64)).bytes();
  const Bytes header_div0 = MidiBuilder(1, 0).bytes();
  const std::vector<ErrorCase> cases = {
      {"empty", {}, "invalid midi: not a midi file", 0},
      {"three bytes", text("MTh"), "invalid midi: not a midi file", 0},
      {"other magic", concat({text("MTrk"), midi}), "invalid midi: not a midi file", 0},
      {"lower-case magic", text("mthd\0\0\0\x06\0\x01\0\0\x01\xE0"sv),
       "invalid midi: not a midi file", 0},
      {"header length 4", {'M', 'T', 'h', 'd', 0, 0, 0, 4, 0, 1, 0, 1},
       "invalid midi: header chunk too short at byte 4", 4},
      {"header length 5, a sixth byte after it",
       {'M', 'T', 'h', 'd', 0, 0, 0, 5, 0, 1, 0, 1, 1, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 0},
       "invalid midi: header chunk too short at byte 4", 4},
      {"header length past a 4-byte end", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1},
       "invalid midi: header chunk too short at byte 4", 4},
      {"header without length", {'M', 'T', 'h', 'd', 0, 0},
       "invalid midi: header chunk too short at byte 4", 4},
      {"format 3", MidiBuilder(3).bytes(), "invalid midi: unsupported format 3 at byte 8", 8},
      {"format 0x100", MidiBuilder(256).bytes(), "invalid midi: unsupported format 256 at byte 8",
       8},
      {"division 0", header_div0, "invalid midi: division of 0 ticks per quarter note at byte 12",
       12},
      {"smpte 0x80", MidiBuilder(1, 0x8000).bytes(),
       "invalid midi: SMPTE frame rate byte 0x80 is not 24, 25, 29 or 30 at byte 12", 12},
      {"smpte -23", MidiBuilder(1, 0xE950).bytes(),
       "invalid midi: SMPTE frame rate byte 0xE9 is not 24, 25, 29 or 30 at byte 12", 12},
      {"riff of 7 bytes", {'R', 'I', 'F', 'F', 4, 0, 0},
       "invalid midi: RIFF header cut short at byte 7", 7},
      {"riff form cut short", {'R', 'I', 'F', 'F', 2, 0, 0, 0, 'R', 'M', 'I', 'D'},
       "invalid midi: RIFF form type cut short at byte 8", 8},
      {"riff not rmid", concat({{'R', 'I', 'F', 'F', 4, 0, 0, 0}, text("WAVE")}),
       "invalid midi: RIFF form type is not RMID at byte 8", 8},
      {"rmid without data", testutil::rmid({{"LIST", {1, 2, 3}}}),
       "invalid midi: no data chunk in RIFF file", std::nullopt},
      {"rmid 'DATA' is not data", testutil::rmid({{"DATA", midi}}),
       "invalid midi: no data chunk in RIFF file", std::nullopt},
      {"rmid empty data", testutil::rmid({{"data", {}}}),
       "invalid midi: no header chunk at byte 20", 20},
      {"rmid track before header",
       testutil::rmid({{"data", concat({text("MTrk"), {0, 0, 0, 0}, midi})}}),
       "invalid midi: track chunk before the header at byte 20", 20},
      {"rmid only unknown chunks", testutil::rmid({{"data", concat({text("XTRA"), {0, 0, 0, 0}})}}),
       "invalid midi: no header chunk at byte 28", 28},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = parse(c.input);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, common::ErrorKind::InvalidMidi);
    EXPECT_EQ(r.error().message, c.message);
    EXPECT_EQ(r.error().byte_offset, c.offset);
  }
}

TEST(SmfReaderErrors, InputOf4GiBIsRefusedWithoutReadingIt) {
  const std::size_t size = std::size_t{1} << 32;
  void* mem = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mem == MAP_FAILED) GTEST_SKIP() << "no address space for a 4 GiB mapping";
  auto r = smf::parse(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(mem), size));
  munmap(mem, size);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message,
            "invalid midi: input of 4294967296 bytes is too large (4 GiB or more)");
}

// ---------------------------------------------------------------- timing

TEST(SmfReaderTiming, DivisionDecodesAsMetricalOrTimecode) {
  struct Case {
    std::uint16_t division;
    smf::Timing::Kind kind;
    int ticks_per_beat, fps, ticks_per_frame;
  };
  const std::vector<Case> cases = {
      {96, smf::Timing::Kind::Metrical, 96, 0, 0},
      {0x7FFF, smf::Timing::Kind::Metrical, 32767, 0, 0},
      {0xE828, smf::Timing::Kind::Timecode, 0, 24, 40},
      {0xE700, smf::Timing::Kind::Timecode, 0, 25, 0},
      {0xE3FF, smf::Timing::Kind::Timecode, 0, 29, 255},
      {0xE250, smf::Timing::Kind::Timecode, 0, 30, 80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.division);
    auto r = parse(MidiBuilder(0, c.division).bytes());
    ASSERT_TRUE(r.has_value()) << r.error().message;
    EXPECT_EQ(r->header.timing.kind, c.kind);
    EXPECT_EQ(r->header.timing.ticks_per_beat, c.ticks_per_beat);
    EXPECT_EQ(r->header.timing.frames_per_second, c.fps);
    EXPECT_EQ(r->header.timing.ticks_per_frame, c.ticks_per_frame);
  }
}

// ---------------------------------------------------------------- chunks

TEST(SmfReaderChunks, UnknownChunksAreSkippedAndDeclaredCountIgnored) {
  TrackBuilder t;
  t.note_on(0, 0, 60, 64);
  // chunk() counts every chunk into the declared number: 4 declared, 2 tracks.
  auto r = parse(MidiBuilder().chunk("XYZW", {1, 2, 3}).track(t).chunk("mtrk", t.bytes()).track(t)
                     .bytes());
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->header.declared_tracks, 4);
  ASSERT_EQ(r->tracks.size(), 2u);
  EXPECT_EQ(r->tracks[1].events.size(), 1u);
}

TEST(SmfReaderChunks, EveryTrackChunkCountsWhateverTheHeaderSays) {
  TrackBuilder t;
  t.note_on(0, 0, 60, 64);
  auto r = parse(MidiBuilder(0).track(t).track(t).track(t).declared_tracks(1).bytes());
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->header.format, 0);
  EXPECT_EQ(r->header.declared_tracks, 1);
  EXPECT_EQ(r->tracks.size(), 3u);

  auto none = parse(MidiBuilder(2).declared_tracks(16).bytes());
  ASSERT_TRUE(none.has_value());
  EXPECT_TRUE(none->tracks.empty());
}

TEST(SmfReaderChunks, ChunkLengthsShortLongAndZero) {
  const Bytes note{0x00, 0x90, 0x3C, 0x40};
  // Length 0: an empty track.
  auto empty = parse(MidiBuilder().chunk("MTrk", {}).bytes());
  ASSERT_TRUE(empty.has_value());
  ASSERT_EQ(empty->tracks.size(), 1u);
  EXPECT_TRUE(empty->tracks[0].events.empty());
  EXPECT_FALSE(empty->tracks[0].damage);

  // A length past the end takes the rest of the file.
  auto overlong = parse(MidiBuilder().chunk_with_length("MTrk", 100000, note).bytes());
  ASSERT_TRUE(overlong.has_value());
  ASSERT_EQ(overlong->tracks.size(), 1u);
  EXPECT_EQ(overlong->tracks[0].events.size(), 1u);
  EXPECT_FALSE(overlong->tracks[0].damage);

  // A short length cuts the note; the one byte left over is a tail.
  auto shortened = parse(MidiBuilder().chunk_with_length("MTrk", 3, note).bytes());
  ASSERT_TRUE(shortened.has_value());
  ASSERT_EQ(shortened->tracks.size(), 1u);
  EXPECT_TRUE(shortened->tracks[0].events.empty());
  ASSERT_TRUE(shortened->tracks[0].damage);
  EXPECT_EQ(shortened->tracks[0].damage->byte_offset, 22u);
  EXPECT_EQ(shortened->tracks[0].damage->reason, "note-on cut short by the end of the track");
}

TEST(SmfReaderChunks, HeaderLengthBeyondSixBytes) {
  const Bytes track = concat({text("MTrk"), {0, 0, 0, 4, 0x00, 0x90, 0x3C, 0x40}});
  auto longer = parse(concat({text("MThd"), {0, 0, 0, 10, 0, 1, 0, 1, 0x01, 0xE0},
                              {0xAA, 0xBB, 0xCC, 0xDD}, track}));
  ASSERT_TRUE(longer.has_value());
  EXPECT_EQ(longer->header.timing.ticks_per_beat, 480);
  ASSERT_EQ(longer->tracks.size(), 1u);
  EXPECT_EQ(longer->tracks[0].events.size(), 1u);

  // A huge declared length swallows the rest of the file.
  auto swallowed =
      parse(concat({text("MThd"), {0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 0, 1, 0x01, 0xE0}, track}));
  ASSERT_TRUE(swallowed.has_value());
  EXPECT_TRUE(swallowed->tracks.empty());
}

TEST(SmfReaderChunks, LaterHeaders) {
  TrackBuilder a;
  a.note_on(0, 0, 60, 64);
  TrackBuilder b;
  b.note_on(0, 1, 62, 64).note_on(0, 1, 64, 64);
  struct Case {
    const char* name;
    Bytes second_header;
    std::size_t tracks;
  };
  const std::vector<Case> cases = {
      {"valid", {0, 0, 0, 1, 0, 96}, 2},
      {"division 0 is still skipped", {0, 0, 0, 1, 0, 0}, 2},
      {"smpte", {0, 2, 0, 1, 0xE7, 0x28}, 2},
      {"format 7 stops", {0, 7, 0, 1, 0, 96}, 1},
      {"bad frame rate stops", {0, 1, 0, 1, 0x80, 0x00}, 1},
      {"too short stops", {0, 1, 0, 1}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = parse(MidiBuilder(1, 480).track(a).chunk("MThd", c.second_header).track(b).bytes());
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->header.timing.ticks_per_beat, 480);
    EXPECT_EQ(r->tracks.size(), c.tracks);
  }
}

TEST(SmfReaderChunks, TrailingBytes) {
  TrackBuilder t;
  t.note_on(0, 0, 60, 64);
  const Bytes mtrk_prefix = text("MTrk\0\0\0\x04\0\x90\x3C"sv);
  for (std::size_t n = 1; n <= 7; ++n) {
    SCOPED_TRACE(n);
    auto r = parse(MidiBuilder().track(t).raw(Bytes(mtrk_prefix.begin(), mtrk_prefix.begin() + n))
                       .bytes());
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->tracks.size(), 1u);
  }
  auto junk = parse(MidiBuilder().track(t).raw(text("JUNK\0\0\0\x09\x01\x02"sv)).bytes());
  ASSERT_TRUE(junk.has_value());
  EXPECT_EQ(junk->tracks.size(), 1u);

  // Eight bytes or more spelling "MTrk" are a track, cut to what remains.
  auto tail = parse(MidiBuilder().track(t).raw(mtrk_prefix).bytes());
  ASSERT_TRUE(tail.has_value());
  ASSERT_EQ(tail->tracks.size(), 2u);
  EXPECT_TRUE(tail->tracks[1].events.empty());
  ASSERT_TRUE(tail->tracks[1].damage);
  EXPECT_EQ(tail->tracks[1].damage->byte_offset, 34u);
  EXPECT_EQ(tail->tracks[1].damage->reason, "note-on cut short by the end of the track");
}

// ---------------------------------------------------------------- RMID

TEST(SmfReaderRmid, DataChunkIsUnwrappedAndOffsetsStayFileOffsets) {
  const Bytes midi = MidiBuilder().track(TrackBuilder().name("Piano").note_on(0, 0, 60, 64)).bytes();
  // RIFF, length, RMID (12 bytes); LIST with 3 bytes and a pad (12 bytes);
  // data id and length: the MIDI file starts at byte 32, its track data at 54.
  Bytes wrapped = testutil::rmid({{"LIST", {1, 2, 3}}, {"data", midi}, {"JUNK", {9, 9}}});
  struct Case {
    const char* name;
    Bytes input;
  };
  Bytes riff_length_past_end = wrapped;
  riff_length_past_end[4] = riff_length_past_end[5] = riff_length_past_end[6] = 0xFF;
  Bytes data_length_past_end = testutil::rmid({{"LIST", {1, 2, 3}}});
  data_length_past_end.insert(data_length_past_end.end(), {'d', 'a', 't', 'a', 0xFF, 0xFF, 0, 0});
  data_length_past_end.insert(data_length_past_end.end(), midi.begin(), midi.end());
  data_length_past_end[4] = data_length_past_end[5] = 0xFF;
  Bytes unknown_before_header =
      testutil::rmid({{"LIST", {1, 2, 3}}, {"data", concat({text("XTRA"), {0, 0, 0, 0}, midi})}});
  const std::vector<Case> cases = {
      {"plain", wrapped},
      {"riff length past the end", riff_length_past_end},
      {"data length past the end", data_length_past_end},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = parse(c.input);
    ASSERT_TRUE(r.has_value()) << r.error().message;
    ASSERT_EQ(r->tracks.size(), 1u);
    ASSERT_EQ(r->tracks[0].events.size(), 2u);
    const smf::Event& name = r->tracks[0].events[0];
    EXPECT_EQ(name.payload_offset, 58u);
    EXPECT_EQ(r->payload_text(name), "Piano");
    EXPECT_EQ(r->tracks[0].events[1].kind, smf::EventKind::NoteOn);
  }
  auto r = parse(unknown_before_header);
  ASSERT_TRUE(r.has_value()) << r.error().message;
  ASSERT_EQ(r->tracks.size(), 1u);
  EXPECT_EQ(r->payload_text(r->tracks[0].events[0]), "Piano");
  EXPECT_EQ(r->tracks[0].events[0].payload_offset, 66u);
}

// ---------------------------------------------------------------- events

TEST(SmfReaderEvents, ChannelMessagesKeepChannelAndRawData) {
  auto r = parse(one_track({0x00, 0x83, 0x3C, 0x40,  //
                            0x05, 0x9F, 0x3C, 0x00,  //
                            0x00, 0xA1, 0x3D, 0x10,  //
                            0x00, 0xB2, 0x40, 0x7F,  //
                            0x00, 0xC4, 0x05,        //
                            0x00, 0xD5, 0x20,        //
                            0x7F, 0xE6, 0x01, 0x40}));
  ASSERT_TRUE(r.has_value());
  const auto& ev = r->tracks[0].events;
  ASSERT_EQ(ev.size(), 7u);
  struct Expect {
    smf::EventKind kind;
    int channel, data1, data2;
    std::uint32_t delta;
  };
  const Expect want[] = {
      {smf::EventKind::NoteOff, 3, 60, 64, 0},
      {smf::EventKind::NoteOn, 15, 60, 0, 5},
      {smf::EventKind::PolyAftertouch, 1, 61, 16, 0},
      {smf::EventKind::Controller, 2, 64, 127, 0},
      {smf::EventKind::ProgramChange, 4, 5, 0, 0},
      {smf::EventKind::ChannelAftertouch, 5, 32, 0, 0},
      {smf::EventKind::PitchBend, 6, 1, 64, 127},
  };
  for (std::size_t i = 0; i < ev.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ev[i].kind, want[i].kind);
    EXPECT_EQ(ev[i].channel, want[i].channel);
    EXPECT_EQ(ev[i].data1, want[i].data1);
    EXPECT_EQ(ev[i].data2, want[i].data2);
    EXPECT_EQ(ev[i].delta, want[i].delta);
  }
  EXPECT_EQ(ev[6].bend_value(), 8193);
  EXPECT_FALSE(r->tracks[0].damage);
}

TEST(SmfReaderEvents, DeltaTimesOfOneToFiveBytes) {
  struct Case {
    Bytes delta;
    std::uint32_t value;
  };
  const std::vector<Case> cases = {
      {{0x00}, 0},
      {{0x7F}, 127},
      {{0x81, 0x00}, 128},
      {{0xFF, 0x7F}, 16383},
      {{0x81, 0x80, 0x00}, 16384},
      {{0xFF, 0xFF, 0xFF, 0x7F}, 268435455},
      // All four bytes with the high bit: their 28 bits; the fifth byte is
      // the status.
      {{0x81, 0x80, 0x80, 0x80}, 2097152},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    auto r = parse(one_track(concat({c.delta, {0x90, 0x3C, 0x40}})));
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->tracks[0].events.size(), 1u);
    EXPECT_EQ(r->tracks[0].events[0].delta, c.value);
    EXPECT_FALSE(r->tracks[0].damage);
  }
  // A fifth byte below 0x80 is a data byte under running status.
  auto r = parse(one_track({0x00, 0x90, 0x3C, 0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0x3C, 0x00}));
  ASSERT_TRUE(r.has_value());
  ASSERT_EQ(r->tracks[0].events.size(), 2u);
  EXPECT_EQ(r->tracks[0].events[1].delta, 268435455u);
  EXPECT_EQ(r->tracks[0].events[1].kind, smf::EventKind::NoteOn);
  EXPECT_EQ(r->tracks[0].events[1].data1, 60);
  EXPECT_EQ(r->tracks[0].events[1].data2, 0);
  EXPECT_FALSE(r->tracks[0].damage);
}

TEST(SmfReaderEvents, RunningStatusAcrossChannelMessages) {
  auto r = parse(one_track({0x00, 0x91, 0x3C, 0x40, 0x10, 0x3C, 0x00, 0x00, 0xC2, 0x05, 0x00, 0x06}));
  ASSERT_TRUE(r.has_value());
  const auto& ev = r->tracks[0].events;
  ASSERT_EQ(ev.size(), 4u);
  EXPECT_EQ(ev[1].kind, smf::EventKind::NoteOn);
  EXPECT_EQ(ev[1].channel, 1);
  EXPECT_EQ(ev[1].delta, 16u);
  EXPECT_EQ(ev[3].kind, smf::EventKind::ProgramChange);
  EXPECT_EQ(ev[3].channel, 2);
  EXPECT_EQ(ev[3].data1, 6);
  EXPECT_FALSE(r->tracks[0].damage);
}

TEST(SmfReaderEvents, MetaTypesAndShortData) {
  struct Case {
    std::uint8_t type;
    Bytes data;
    smf::MetaKind kind;
  };
  using K = smf::MetaKind;
  const std::vector<Case> cases = {
      {0x00, {0x00, 0x01}, K::TrackNumber}, {0x01, text("a"), K::Text},
      {0x02, text("c"), K::Copyright},      {0x03, text("Lead"), K::TrackName},
      {0x04, text("Sax"), K::InstrumentName}, {0x05, text("la"), K::Lyric},
      {0x06, text("A"), K::Marker},         {0x07, text("go"), K::CuePoint},
      {0x08, text("p"), K::ProgramName},    {0x09, text("d"), K::DeviceName},
      {0x0A, text("x"), K::Unknown},        {0x20, {}, K::Unknown},
      {0x20, {0x01}, K::ChannelPrefix},     {0x21, {}, K::Unknown},
      {0x21, {0x00}, K::Port},              {0x2F, {}, K::EndOfTrack},
      {0x51, {0x07, 0xA1}, K::Unknown},     {0x51, {0x07, 0xA1, 0x20}, K::Tempo},
      {0x54, {0, 0, 0, 0}, K::Unknown},     {0x54, {0, 0, 0, 0, 0}, K::SmpteOffset},
      {0x58, {4, 2, 24}, K::Unknown},       {0x58, {4, 2, 24, 8}, K::TimeSignature},
      {0x59, {0xFD, 0x01}, K::KeySignature}, {0x7F, {0x00, 0x41}, K::SequencerSpecific},
      {0x4B, {1}, K::Unknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int{c.type} << " size " << c.data.size());
    auto r = parse(one_track(TrackBuilder().meta(0, c.type, c.data).bytes()));
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->tracks[0].events.size(), 1u);
    const smf::Event& e = r->tracks[0].events[0];
    EXPECT_EQ(e.kind, smf::EventKind::Meta);
    EXPECT_EQ(e.meta_kind(), c.kind);
    EXPECT_EQ(e.meta_type(), c.type);
    EXPECT_EQ(e.payload_offset, 26u);
    EXPECT_EQ(e.payload_size, c.data.size());
    EXPECT_FALSE(r->tracks[0].damage);
  }
}

TEST(SmfReaderEvents, TempoAndPayloadViews) {
  // The payloads are views: the file must outlive the result.
  const Bytes file = one_track(TrackBuilder()
                                   .meta(0, 0x51, {0x07, 0xA1, 0x20, 0x99})
                                   .sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
                                   .sysex(0, {0x43}, 0xF7)
                                   .bytes());
  auto r = parse(file);
  ASSERT_TRUE(r.has_value());
  const auto& ev = r->tracks[0].events;
  ASSERT_EQ(ev.size(), 3u);
  EXPECT_EQ(r->tempo(ev[0]), 500000u);
  EXPECT_EQ(ev[1].kind, smf::EventKind::SysEx);
  EXPECT_EQ(ev[1].payload_offset, 33u);
  EXPECT_EQ(ev[1].payload_size, 5u);
  EXPECT_EQ(r->payload(ev[1])[4], 0xF7);
  EXPECT_EQ(ev[2].kind, smf::EventKind::Escape);
  EXPECT_EQ(ev[2].payload_offset, 41u);
  EXPECT_EQ(r->payload(ev[2])[0], 0x43);
}

TEST(SmfReaderEvents, EndOfTrackIsNotSpecial) {
  auto r = parse(one_track({0x00, 0xFF, 0x2F, 0x00, 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
  ASSERT_TRUE(r.has_value());
  const auto& ev = r->tracks[0].events;
  ASSERT_EQ(ev.size(), 3u);
  EXPECT_EQ(ev[0].meta_kind(), smf::MetaKind::EndOfTrack);
  EXPECT_EQ(ev[1].kind, smf::EventKind::NoteOn);
  EXPECT_EQ(ev[2].meta_kind(), smf::MetaKind::EndOfTrack);
  EXPECT_FALSE(r->tracks[0].damage);
}

// ---------------------------------------------------------------- damage

struct DamageCase {
  const char* name;
  Bytes track;
  std::size_t events;                ///< events kept
  std::optional<std::size_t> offset;  ///< file offset of the damage; none: no note
  std::string reason;
};

TEST(SmfReaderDamage, TracksAreCutShortWithPlaceAndReason) {
  std::vector<DamageCase> cases = {
      {"data byte with the top bit", {0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x3C, 0x9C}, 1, 26,
       "data byte 0x9C inside a note-on"},
      {"bend data byte", {0x00, 0xE0, 0x80, 0x40}, 0, 22, "data byte 0x80 inside a pitch bend"},
      {"no running status at the start", {0x00, 0x3C, 0x40}, 0, 22, "running status byte missing"},
      {"running status cleared by meta",
       {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x00}, 2, 30,
       "running status byte missing"},
      {"running status cleared by sysex",
       {0x00, 0x90, 0x3C, 0x40, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3C, 0x00}, 2, 30,
       "running status byte missing"},
      {"running status cleared by escape",
       {0x00, 0x90, 0x3C, 0x40, 0x00, 0xF7, 0x01, 0xF7, 0x00, 0x3C, 0x00}, 2, 30,
       "running status byte missing"},
      {"system common", {0x00, 0xF3, 0x01}, 0, 22, "system common status 0xF3"},
      {"realtime", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xF8}, 1, 26, "realtime status 0xF8"},
      {"note cut short", {0x00, 0x90, 0x3C, 0x40, 0x10, 0x90, 0x3C}, 1, 26,
       "note-on cut short by the end of the track"},
      {"running-status note cut short", {0x00, 0x90, 0x3C, 0x40, 0x10, 0x3C}, 1, 26,
       "note-on cut short by the end of the track"},
      {"program change cut short", {0x00, 0xC0, 0x05, 0x00, 0xC0}, 1, 25,
       "program change cut short by the end of the track"},
      {"end inside a delta", {0x00, 0x90, 0x3C, 0x40, 0x81}, 1, 26,
       "end of data inside a delta time"},
      {"end after a delta", {0x00, 0x90, 0x3C, 0x40, 0x05}, 1, 26, "end of data after a delta time"},
      {"end after a four-byte delta", {0xFF, 0xFF, 0xFF, 0x7F}, 0, 22,
       "end of data after a delta time"},
      {"sysex past the end", {0x00, 0xF0, 0x05, 0x01, 0x02}, 1, 22,
       "sysex declares 5 bytes but 2 remain"},
      {"escape past the end", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xF7, 0x03, 0x01}, 2, 26,
       "escape declares 3 bytes but 1 remain"},
      {"sysex without length", {0x00, 0xF0}, 1, 22, "sysex without its length"},
      {"sysex length cut short", {0x00, 0xF0, 0x81}, 1, 22, "end of data inside a sysex length"},
      {"meta without type", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF}, 1, 26,
       "meta event without its type byte"},
      {"meta without length", {0x00, 0xFF, 0x03}, 1, 22, "meta event 0x03 without its length"},
      {"meta length cut short", {0x00, 0xFF, 0x01, 0x81}, 1, 22,
       "end of data inside a meta event 0x01 length"},
      {"meta past the end",
       concat({{0x00, 0xFF, 0x05, 0x81, 0x48}, Bytes(12, 'x')}), 1, 22,
       "meta event 0x05 declares 200 bytes but 12 remain"},
      {"key signature of 1 byte",
       {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x59, 0x01, 0x00, 0x00, 0x80, 0x3C, 0x00}, 1, 26,
       "key signature shorter than 2 bytes"},
      {"smpte hour", {0x00, 0xFF, 0x54, 0x05, 0x19, 0, 0, 0, 0}, 0, 22,
       "SMPTE offset hour 25 out of range"},
      {"smpte minute", {0x00, 0xFF, 0x54, 0x05, 0x00, 60, 0, 0, 0}, 0, 22,
       "SMPTE offset minute 60 out of range"},
      {"smpte second", {0x00, 0xFF, 0x54, 0x05, 0x00, 0, 75, 0, 0}, 0, 22,
       "SMPTE offset second 75 out of range"},
      {"smpte frame at 25 fps", {0x00, 0xFF, 0x54, 0x05, 0x20, 0, 0, 25, 0}, 0, 22,
       "SMPTE offset frame 25 out of range at 25 frames per second"},
      {"smpte frame at 29 fps", {0x00, 0xFF, 0x54, 0x05, 0x40, 0, 0, 29, 0}, 0, 22,
       "SMPTE offset frame 29 out of range at 29 frames per second"},
      {"smpte subframe", {0x00, 0xFF, 0x54, 0x05, 0x00, 0, 0, 0, 100}, 0, 22,
       "SMPTE offset subframe 100 out of range"},
      // Nothing inside or after an end-of-track event is reported.
      {"padding after end of track", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00, 0, 0, 0}, 2,
       std::nullopt, ""},
      {"end of track without length", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F}, 2, std::nullopt,
       ""},
      {"bad data after end of track", {0x00, 0xFF, 0x2F, 0x00, 0x00, 0x90, 0x3C, 0x9C}, 1,
       std::nullopt, ""},
      {"short sysex after end of track", {0x00, 0xFF, 0x2F, 0x00, 0x00, 0xF0, 0x05, 0x01}, 2,
       std::nullopt, ""},
      {"smpte at the limits", {0x00, 0xFF, 0x54, 0x05, 0x77, 59, 59, 29, 99}, 1, std::nullopt, ""},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = parse(one_track(c.track));
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->tracks.size(), 1u);
    const smf::Track& t = r->tracks[0];
    EXPECT_EQ(t.events.size(), c.events);
    ASSERT_EQ(t.damage.has_value(), c.offset.has_value());
    if (c.offset) {
      EXPECT_EQ(t.damage->byte_offset, *c.offset);
      EXPECT_EQ(t.damage->reason, c.reason);
    }
  }
}

TEST(SmfReaderDamage, ShortenedPayloadIsKeptUpToTheEnd) {
  auto r = parse(one_track({0x00, 0xF0, 0x05, 0x01, 0x02}));
  ASSERT_TRUE(r.has_value());
  const smf::Event& e = r->tracks[0].events[0];
  EXPECT_EQ(e.payload_offset, 25u);
  EXPECT_EQ(e.payload_size, 2u);
}

TEST(SmfReaderDamage, OnlyTheDamagedTrackIsCut) {
  TrackBuilder good;
  good.name("ok").note_on(0, 0, 60, 64).note_off(96, 0, 60).end();
  auto r = parse(MidiBuilder()
                     .track(good)
                     .chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x00, 0x3C, 0xC0})
                     .track(good)
                     .bytes());
  ASSERT_TRUE(r.has_value());
  ASSERT_EQ(r->tracks.size(), 3u);
  EXPECT_FALSE(r->tracks[0].damage);
  EXPECT_EQ(r->tracks[0].events.size(), 4u);
  // Track 1 starts after 14 + 8 + 18 bytes and its data after 8 more.
  ASSERT_TRUE(r->tracks[1].damage);
  EXPECT_EQ(r->tracks[1].damage->byte_offset, 52u);
  EXPECT_EQ(r->tracks[1].damage->reason, "data byte 0xC0 inside a note-on");
  EXPECT_EQ(r->tracks[1].events.size(), 1u);
  EXPECT_FALSE(r->tracks[2].damage);
  EXPECT_EQ(r->tracks[2].events.size(), 4u);
}

// A large file decodes exactly like each of its tracks alone, damage offsets
// shifted by what precedes the track.
TEST(SmfReaderLarge, BigFileDecodesLikeItsTracksAlone) {
  TrackBuilder a;
  TrackBuilder b;
  for (int i = 0; i < 400000; ++i) {
    a.note_on(static_cast<std::uint32_t>(i % 200), 0, static_cast<std::uint8_t>(i % 128), 90, i > 0);
    b.note_on(static_cast<std::uint32_t>(i % 3000), 1, static_cast<std::uint8_t>(i % 100), 1);
  }
  b.raw({0x00, 0xF2});
  auto whole = parse(MidiBuilder().track(a).track(b).bytes());
  auto only_a = parse(MidiBuilder().track(a).bytes());
  auto only_b = parse(MidiBuilder().track(b).bytes());
  ASSERT_TRUE(whole && only_a && only_b);
  ASSERT_EQ(whole->tracks.size(), 2u);
  const smf::Track* alone[2] = {&only_a->tracks[0], &only_b->tracks[0]};
  for (int t = 0; t < 2; ++t) {
    SCOPED_TRACE(t);
    const auto& x = whole->tracks[t].events;
    const auto& y = alone[t]->events;
    ASSERT_EQ(x.size(), 400000u);
    ASSERT_EQ(x.size(), y.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
      ASSERT_EQ(x[i].delta, y[i].delta);
      ASSERT_EQ(x[i].data1, y[i].data1);
      ASSERT_EQ(x[i].kind, y[i].kind);
    }
  }
  EXPECT_FALSE(whole->tracks[0].damage);
  ASSERT_TRUE(whole->tracks[1].damage);
  EXPECT_EQ(whole->tracks[1].damage->reason, "system common status 0xF2");
  // The offset is shifted by the first track chunk alone.
  EXPECT_EQ(whole->tracks[1].damage->byte_offset,
            only_b->tracks[0].damage->byte_offset + 8 + a.bytes().size());
}

}  // namespace
