#pragma once
// Sound definitions of the song model: oscillators, samples, voice, envelopes,
// modulations and scalar settings. Every field's default is its neutral value,
// for which the sound writer writes nothing.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace tracksmith::song {

/// One oscillator of a synthesised sound.
struct Oscillator {
  std::string wave;
  float level = 1.0f;
  float ratio = 1.0f;
  float duty = 0.0f;
};

/// A sample file played over a pitch range (unbounded by default).
struct Sample {
  std::string path;
  float range_low = -std::numeric_limits<float>::infinity();
  float range_high = std::numeric_limits<float>::infinity();
};

/// A periodic modulation (vibrato, tremolo) of a sound.
struct Modulation {
  std::string shape;  ///< empty means "sine"
  float rate = 0.0f;
  float depth = 0.0f;  ///< written only when greater than 0
};

/// An attack or release stage of a sound.
struct Envelope {
  float time = 0.0f;  ///< written only when greater than 0
  bool ease_in = true;
  bool ease_out = true;
};

/// A voice parameter that a sound may override.
enum class VoiceParam : std::uint8_t { FormantShift, Tilt, Breathiness, Vibrato };

/// One overridden voice parameter and its value.
struct VoiceOverride {
  VoiceParam kind = VoiceParam::FormantShift;
  float value = 0.0f;
};

/// A sound entry of the "# Sounds" section.
struct Sound {
  std::vector<Oscillator> oscillators;
  std::vector<Sample> samples;
  std::string voice;
  std::vector<VoiceOverride> voice_overrides;
  std::size_t ensemble = 0;
  std::vector<float> arpeggio;
  float arpeggio_rate = 0.0f;
  float distortion = 0.0f;
  float detune = 0.0f;
  float vol_jitter = 0.0f;
  std::uint32_t steps = 0;
  Envelope attack;
  Envelope decay;
  Envelope release;
  float sustain = 1.0f;
  float noise = 0.0f;
  Modulation vibrato;
  Modulation tremolo;
  float slide_amount = 0.0f;
  float slide_time = 0.0f;
  float filter_cutoff = 0.0f;
  float filter_target = 0.0f;
  Envelope filter_sweep;
  float duty_sweep = 0.0f;
  float volume = 1.0f;
};

}  // namespace tracksmith::song