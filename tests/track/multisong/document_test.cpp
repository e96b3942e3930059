// Whole track documents: section order, a document that sets every option of
// every section (compared with a hand-written expected file) and a document
// whose entries are all at their defaults.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "tracksmith/track/track.hpp"

using namespace tracksmith;

namespace {

namespace fx = song::effect;
using track::multisong::Comparison;
using track::multisong::Jump;
using track::multisong::JumpAt;
using track::multisong::JumpCondition;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <class T>
void add(header_format::SectionList<T>& list, std::string name, T value) {
  list.entries.push_back({std::move(name), std::move(value)});
}

TEST(TrackSections, OnlySongsAndReverbHoldEntries) {
  track::multisong::TrackSections sections;
  add(sections.reverb, "hall", track::multisong::ReverbPreset{0.8f, 2.0f, 0.25f, 0.0f});
  add(sections.songs, "song", track::multisong::Song{});
  std::string out;
  track::multisong::serialize(sections, out);
  EXPECT_EQ(out,
            "# Songs\n\n## song\n@tempo 120\n\n"
            "# Reverb\n\n## hall\nroom_size 0.8\ndecay 2\nmix 0.25\npredelay 0\n");
}

TEST(TrackSections, NoEntriesWriteNothing) {
  std::string out;
  track::multisong::serialize(track::multisong::TrackSections{}, out);
  EXPECT_EQ(out, "");
  header_format::write_document(track::multisong::TrackDocument{}, out);
  EXPECT_EQ(out, "");
}

track::multisong::Song full_song() {
  track::multisong::Song song;
  song.tempo = 96;
  song.tempo_ratio = 1.5f;
  song.signature_numerator = 3;
  song.seed = 7;
  song.params["energy"] = 0.5f;
  song.params["Mood"] = -0.0f;
  song.length = 64;
  song.layers = {"lead", "bass"};
  song.markers = {{"chorus", 16}, {"bridge", 40.5f}};
  Jump chorus;
  chorus.target = "chorus";
  chorus.offset = 2;
  chorus.tempo_change = track::multisong::tempo_change::Ratio{1.5f};
  chorus.via = Jump::Via{"fill", "crash"};
  chorus.condition = JumpCondition{track::multisong::subject::Plays{}, Comparison::Less, 3};
  Jump outro;
  outro.target = "outro";
  outro.tempo_change = track::multisong::tempo_change::Absolute{140};
  outro.condition = JumpCondition{track::multisong::subject::Param{"energy"}, Comparison::NotEqual, 0.75f};
  song.jumps = {chorus, outro};
  Jump intro;
  intro.target = "intro";
  intro.condition = JumpCondition{track::multisong::subject::Random{}, Comparison::GreaterEqual, 0.25f};
  Jump back;
  back.target = "chorus";
  back.offset = 0.5f;
  song.jump_ats = {JumpAt{intro, track::multisong::position::Time{32}},
                   JumpAt{back, track::multisong::position::MarkerName{"bridge"}}};
  return song;
}

song::Layer full_layer() {
  song::Layer layer;
  layer.name = "Lead Track";
  layer.volume_param = song::ParamScale{"intensity", 0.5f};
  layer.volume = 0.25f;  // hidden by the parameter form
  layer.pan = -0.25f;
  layer.mute = true;
  layer.solo = true;
  layer.loop = 8;
  layer.loop_skip = 2;
  layer.tuning = "tritave";
  layer.root = 432;
  layer.effects = {fx::Lowpass{1200},
                   fx::Highpass{80},
                   fx::LowpassParam{"cutoff", 200, 0.5f},
                   fx::HighpassParam{"air", 100, 2},
                   fx::Echo{0.25f, 0.5f, 0.3f},
                   fx::Tremolo{5, 0.5f},
                   fx::Bitcrusher{8},
                   fx::Compressor{-20, 4, 0.01f, 0.1f},
                   fx::Eq{1, -2, 3, 0.5f},
                   fx::DelaySync{0.5f, 0.25f, 0.3f},
                   fx::Reverb{0.8f, 2, 0.25f, 0},
                   fx::ReverbByName{"hall"}};

  song::Note options;
  options.sound = "lead";
  options.start = 2;
  options.pitch = -9;
  options.final_segment = {0, 1, true, true};
  options.volume = 0.79f;
  options.text = "la";
  options.text_apostrophe = true;
  options.volume_curve = {{0, 1, true, false}, {1, 0.5f, true, true}};
  options.arpeggio = {0, 4, 7};
  options.arpeggio_rate = 8;
  options.repeat = 2;
  options.repeat_alt = 3;

  song::Note curves;
  curves.sound = "lead";
  curves.start = 1;
  curves.pitch = 0;
  curves.segments = {{2, 0, false, false}, {0, 1, true, true}};
  curves.final_segment = {0, 1, true, true};
  curves.volume_curve = {{0, 1, true, true}, {0.5f, 0.25f, false, false}, {1, 1, false, false}};
  curves.repeat = 4;

  song::Note glide;
  glide.sound = "lead";
  glide.start = 0;
  glide.pitch = 3;
  glide.final_segment = {2, 1, false, false};

  layer.notes = {options, curves, glide};

  song::MotifInstance riff;
  riff.motif = "riff";
  riff.start = 4;
  riff.sound = "lead";
  riff.transpose = -12;
  riff.tuning = "tritave";
  song::NoteOverride skip;
  skip.note = 0;
  skip.skip = true;
  song::NoteOverride all;
  all.note = 2;
  all.pitch = 1;
  all.start = 0.5f;
  all.duration = 0.25f;
  all.glide = -2;
  all.volume = 0.5f;
  all.text = "hey";
  all.pitch_curve = std::vector<song::WavePoint>{{0, 0, false, false}, {1, 1, true, true}};
  riff.overrides = {skip, all};
  riff.trim = song::Trim{1, 3};
  layer.motif_instances = {riff};

  song::SubtrackInstance drums;
  drums.subtrack = "drums";
  drums.start = 0.5f;
  drums.sound = "kit";
  drums.transpose = 2;
  drums.tuning = "tritave";
  song::NoteOverride quiet;
  quiet.note = 1;
  quiet.volume = 0.25f;
  drums.overrides = {quiet};
  drums.trim = song::Trim{0, 2};
  layer.subtrack_instances = {drums};
  return layer;
}

song::Sound full_sound() {
  constexpr float inf = std::numeric_limits<float>::infinity();
  song::Sound sound;
  sound.oscillators = {{"saw", 0.5f, 1, 0}, {"square", 1, 2, 0.25f}};
  sound.samples = {{"pad.wav", -inf, 12}};
  sound.voice = "alto";
  sound.voice_overrides = {{song::VoiceParam::Tilt, 0.5f},
                           {song::VoiceParam::Vibrato, 2},
                           {song::VoiceParam::FormantShift, -1},
                           {song::VoiceParam::Breathiness, 0.25f}};
  sound.ensemble = 3;
  sound.arpeggio = {0, 4, 7};
  sound.arpeggio_rate = 8;
  sound.distortion = 0.2f;
  sound.detune = 0.1f;
  sound.vol_jitter = 0.05f;
  sound.steps = 4;
  sound.attack = {0.01f, false, false};
  sound.decay = {0.2f, true, false};
  sound.release = {1.5f, true, true};
  sound.sustain = 0.6f;
  sound.noise = 0.3f;
  sound.vibrato = {"", 5, 0.2f};
  sound.tremolo = {"triangle", 4, 0.5f};
  sound.slide_amount = -2;
  sound.slide_time = 0.25f;
  sound.filter_cutoff = 800;
  sound.filter_target = 200;
  sound.filter_sweep = {0.5f, false, true};
  sound.duty_sweep = 0.1f;
  sound.volume = 0.8f;
  return sound;
}

track::multisong::Motif full_motif() {
  song::Note a;
  a.start = 1;
  a.pitch = 2;
  a.final_segment = {0, 0.5f, true, true};
  song::Note b;
  b.start = 0;
  b.pitch = 0;
  b.final_segment = {0, 0.5f, true, true};
  b.volume = 0.5f;
  song::Note c;
  c.start = 0.5f;
  c.pitch = -2;
  c.final_segment = {3, 0.25f, false, false};
  return track::multisong::Motif{{a, b, c}};
}

TEST(TrackDocument, EverySectionWithEveryOption) {
  track::multisong::TrackDocument document;
  document.leading_lines = {"@import std:instruments"};
  document.meta.title = "Night Drive";
  document.meta.author = "K. Example";
  document.meta.description = "first line\nsecond line";
  document.meta.tags = {"synthwave", "demo"};

  auto& s = document.sections;
  add(s.songs, "song", full_song());
  add(s.layers, "lead", full_layer());
  add(s.sounds, "pad", full_sound());
  add(s.tunings, "tritave", song::Tuning{{1, 1.2f, 1.5f}, 3});
  add(s.tunings, "edo12",
      song::Tuning{{1.0f, 1.0594631f, 1.122462f, 1.1892071f, 1.2599211f, 1.3348398f, 1.4142135f,
                    1.4983071f, 1.587401f, 1.6817929f, 1.7817974f, 1.8877486f},
                   2});
  add(s.waves, "swell",
      song::Wave{{{0, 0, false, false}, {0.25f, 1, true, true}, {0.5f, 0.5f, true, false},
                  {1, 0, false, true}}});
  add(s.subtitles, "lyrics", track::multisong::SubtitleTrack{{{"Hello there", 0}, {"", 2.5f}, {"Bye", 4}}});
  add(s.motifs, "riff", full_motif());
  track::multisong::Snapshot calm;
  calm.values = {{"music", 0.5f}, {"amb", -0.0f}, {"Voice", 1}};
  add(s.snapshots, "calm", calm);
  add(s.reverb, "hall", track::multisong::ReverbPreset{0.8f, 2, 0.25f, -0.0f});

  header_format::Instance child{"child", {"x"}, {}};
  document.unknown_sections = {{"Extras", {"free line"}, {{"inst", {"body"}, {child}}}}};

  std::string out;
  header_format::write_document(document, out);
  EXPECT_EQ(out, read_file(TRACKSMITH_TEST_DATA "/golden/all_sections.track"));
}

TEST(TrackDocument, DefaultEntriesWriteHeadingsAndFixedLines) {
  track::multisong::TrackDocument document;
  auto& s = document.sections;
  add(s.songs, "song", track::multisong::Song{});
  add(s.layers, "layer", song::Layer{});
  add(s.sounds, "sound", song::Sound{});
  add(s.tunings, "tuning", song::Tuning{});
  add(s.waves, "wave", song::Wave{});
  add(s.subtitles, "subtitles", track::multisong::SubtitleTrack{});
  add(s.motifs, "motif", track::multisong::Motif{});
  add(s.snapshots, "snapshot", track::multisong::Snapshot{});
  add(s.reverb, "reverb", track::multisong::ReverbPreset{});
  std::string out;
  header_format::write_document(document, out);
  // A song always has its tempo line, a reverb preset its four lines, and a
  // tuning without ratios an empty ratio line (absorbed by the blank line
  // before the next heading).
  EXPECT_EQ(out,
            "# Songs\n\n## song\n@tempo 120\n\n"
            "# Layers\n\n## layer\n\n"
            "# Sounds\n\n## sound\n\n"
            "# Tunings\n\n## tuning\n\n"
            "# Waves\n\n## wave\n\n"
            "# Subtitles\n\n## subtitles\n\n"
            "# Motifs\n\n## motif\n\n"
            "# Snapshots\n\n## snapshot\n\n"
            "# Reverb\n\n## reverb\nroom_size 0\ndecay 0\nmix 0\npredelay 0\n");
}

}  // namespace
