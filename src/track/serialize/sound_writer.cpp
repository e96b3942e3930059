#include <cmath>
#include <limits>
#include <string>

#include "tracksmith/track/serialize/text.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track::serialize {
namespace {

std::string_view voice_param_text(song::VoiceParam kind) {
  switch (kind) {
    case song::VoiceParam::FormantShift:
      return "formant-shift";
    case song::VoiceParam::Tilt:
      return "tilt";
    case song::VoiceParam::Breathiness:
      return "breathiness";
    case song::VoiceParam::Vibrato:
      return "vibrato";
  }
  return "formant-shift";
}

// "@{keyword} {value}\n" for a scalar setting.
void append_setting(std::string& text, std::string_view keyword, float value) {
  text += '@';
  text += keyword;
  text += ' ';
  append_number(text, value);
  text += '\n';
}

void append_oscillator(std::string& text, const song::Oscillator& oscillator) {
  text += oscillator.wave;
  // The level counts as 1 only strictly inside the epsilon; sustain and
  // volume below include the bound.
  if (!near_one_strict(oscillator.level)) {
    text += '@';
    append_number(text, oscillator.level);
  }
  text += ' ';
  append_number(text, oscillator.ratio);
  if (oscillator.duty > 0.0f) {
    text += " duty ";
    append_number(text, oscillator.duty);
  }
  text += '\n';
}

void append_sample(std::string& text, const song::Sample& sample) {
  constexpr float infinity = std::numeric_limits<float>::infinity();
  text += "@sample \"";
  text += sample.path;
  text += '"';
  if (!(sample.range_low == -infinity && sample.range_high == infinity)) {
    text += " @ ";
    append_number(text, sample.range_low);
    text += "..";
    append_number(text, sample.range_high);
  }
  text += '\n';
}

void append_voice(std::string& text, const song::Sound& sound) {
  text += "@voice ";
  text += sound.voice;
  for (const auto& override_ : sound.voice_overrides) {
    text += ' ';
    text += voice_param_text(override_.kind);
    text += ' ';
    append_number(text, override_.value);
  }
  if (sound.ensemble > 1) {
    text += " ensemble ";
    append_unsigned(text, sound.ensemble);
  }
  text += '\n';
}

void append_envelope_line(std::string& text, std::string_view name,
                          const song::Envelope& envelope) {
  if (!(envelope.time > 0.0f)) return;
  text += '@';
  text += format_envelope(name, envelope);
  text += '\n';
}

void append_modulation_line(std::string& text, std::string_view name,
                            const song::Modulation& modulation) {
  if (!(modulation.depth > 0.0f)) return;
  text += '@';
  text += format_modulation(name, modulation);
  text += '\n';
}

void append_filter(std::string& text, const song::Sound& sound) {
  text += "@filter ";
  append_number(text, sound.filter_cutoff);
  // The sweep belongs to the target: without a target it is not written.
  if (sound.filter_target != 0.0f) {
    text += ' ';
    append_number(text, sound.filter_target);
    if (sound.filter_sweep.time > 0.0f) {
      text += ' ';
      append_number(text, sound.filter_sweep.time);
      text += song::easing_suffix(sound.filter_sweep.ease_in, sound.filter_sweep.ease_out);
    }
  }
  text += '\n';
}

}  // namespace

std::string format_envelope(std::string_view name, const song::Envelope& envelope) {
  std::string text{name};
  text += ' ';
  append_number(text, envelope.time);
  text += song::easing_suffix(envelope.ease_in, envelope.ease_out);
  return text;
}

std::string format_modulation(std::string_view name, const song::Modulation& modulation) {
  std::string text{name};
  text += ' ';
  append_number(text, modulation.rate);
  text += ' ';
  append_number(text, modulation.depth);
  if (!modulation.shape.empty() && modulation.shape != "sine") {
    text += ' ';
    text += modulation.shape;
  }
  return text;
}

std::string format_sound(const song::Sound& sound) {
  std::string text;
  for (const auto& oscillator : sound.oscillators) append_oscillator(text, oscillator);
  for (const auto& sample : sound.samples) append_sample(text, sample);
  if (!sound.voice.empty()) append_voice(text, sound);
  if (!sound.arpeggio.empty()) {
    text += "@arpeggio ";
    append_number_list(text, sound.arpeggio);
    text += " rate ";
    append_number(text, sound.arpeggio_rate);
    text += '\n';
  }
  if (sound.distortion != 0.0f) append_setting(text, "distortion", sound.distortion);
  if (sound.detune != 0.0f) append_setting(text, "detune", sound.detune);
  if (sound.vol_jitter != 0.0f) append_setting(text, "vol-jitter", sound.vol_jitter);
  if (sound.steps != 0) {
    text += "@steps ";
    append_unsigned(text, sound.steps);
    text += '\n';
  }
  append_envelope_line(text, "attack", sound.attack);
  append_envelope_line(text, "decay", sound.decay);
  append_envelope_line(text, "release", sound.release);
  // Sustain and volume count as 1 up to and including the epsilon; a NaN
  // fails the "beyond" test and is left out with them.
  if (beyond_one(sound.sustain)) append_setting(text, "sustain", sound.sustain);
  if (sound.noise != 0.0f) append_setting(text, "noise", sound.noise);
  append_modulation_line(text, "vibrato", sound.vibrato);
  append_modulation_line(text, "tremolo", sound.tremolo);
  if (sound.slide_time > 0.0f) {
    text += "@slide ";
    append_number(text, sound.slide_amount);
    text += ' ';
    append_number(text, sound.slide_time);
    text += '\n';
  }
  if (sound.filter_cutoff > 0.0f) append_filter(text, sound);
  if (sound.duty_sweep != 0.0f) append_setting(text, "duty_sweep", sound.duty_sweep);
  if (beyond_one(sound.volume)) append_setting(text, "volume", sound.volume);
  return text;
}

}  // namespace tracksmith::track::serialize