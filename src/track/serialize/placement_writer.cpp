#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include "tracksmith/track/serialize/text.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track::serialize {
namespace {

void append_numbers(std::string& text, std::initializer_list<float> values) {
  for (const float value : values) {
    text += ' ';
    append_number(text, value);
  }
}

// The effect text after "@effect ": the kind's word, then its parameters.
void append_effect(std::string& text, const song::Effect& effect) {
  namespace fx = song::effect;
  std::visit(
      [&text](const auto& e) {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, fx::Lowpass>) {
          text += "lowpass";
          append_numbers(text, {e.p1});
        } else if constexpr (std::is_same_v<E, fx::Highpass>) {
          text += "highpass";
          append_numbers(text, {e.p1});
        } else if constexpr (std::is_same_v<E, fx::LowpassParam>) {
          text += "lowpass param ";
          text += e.param;
          append_numbers(text, {e.p1, e.p2});
        } else if constexpr (std::is_same_v<E, fx::HighpassParam>) {
          text += "highpass param ";
          text += e.param;
          append_numbers(text, {e.p1, e.p2});
        } else if constexpr (std::is_same_v<E, fx::Echo>) {
          text += "echo";
          append_numbers(text, {e.p1, e.p2, e.p3});
        } else if constexpr (std::is_same_v<E, fx::Tremolo>) {
          text += "tremolo";
          append_numbers(text, {e.p1, e.p2});
        } else if constexpr (std::is_same_v<E, fx::Bitcrusher>) {
          // The bit count is a byte; widen it so it is written as a number.
          text += "bitcrusher ";
          append_unsigned(text, static_cast<unsigned>(e.bits));
        } else if constexpr (std::is_same_v<E, fx::Compressor>) {
          text += "compressor";
          append_numbers(text, {e.p1, e.p2, e.p3, e.p4});
        } else if constexpr (std::is_same_v<E, fx::Eq>) {
          text += "eq";
          append_numbers(text, {e.p1, e.p2, e.p3, e.p4});
        } else if constexpr (std::is_same_v<E, fx::DelaySync>) {
          text += "delay_sync";
          append_numbers(text, {e.p1, e.p2, e.p3});
        } else if constexpr (std::is_same_v<E, fx::Reverb>) {
          text += "reverb";
          append_numbers(text, {e.p1, e.p2, e.p3, e.p4});
        } else {
          static_assert(std::is_same_v<E, fx::ReverbByName>);
          text += "reverb ";
          text += e.name;
        }
      },
      effect);
}

// Starts the next directive: a single space between directives, none first.
void next_directive(std::string& text) {
  if (!text.empty()) text += ' ';
}

void append_placement_tail(std::string& text, float transpose,
                           const std::optional<std::string>& tuning) {
  // -0 compares equal to 0 and is left out; NaN is written.
  if (transpose != 0.0f) {
    text += " transpose ";
    append_number(text, transpose);
  }
  if (tuning) {
    text += " tuning ";
    text += *tuning;
  }
}

}  // namespace

std::string layer_directives(const song::Layer& layer) {
  std::string text;
  if (layer.volume_param) {
    text += "@volume param ";
    text += layer.volume_param->param;
    // A NaN scale fails the test and is left out.
    if (beyond_one(layer.volume_param->scale)) {
      text += ' ';
      append_number(text, layer.volume_param->scale);
    }
  } else if (layer.volume != 1.0f) {
    text += "@volume ";
    append_number(text, layer.volume);
  }
  if (layer.pan != 0.0f) {
    next_directive(text);
    text += "@pan ";
    append_number(text, layer.pan);
  }
  if (layer.mute) {
    next_directive(text);
    text += "@mute true";
  }
  if (layer.solo) {
    next_directive(text);
    text += "@solo true";
  }
  if (layer.loop) {
    next_directive(text);
    text += "@loop ";
    append_number(text, *layer.loop);
    if (layer.loop_skip != 0.0f) {
      text += " skip ";
      append_number(text, layer.loop_skip);
    }
  }
  if (layer.tuning) {
    next_directive(text);
    text += "@tuning ";
    text += *layer.tuning;
  }
  if (layer.root != 440.0f) {
    next_directive(text);
    text += "@root ";
    append_number(text, layer.root);
  }
  for (const auto& effect : layer.effects) {
    next_directive(text);
    text += "@effect ";
    append_effect(text, effect);
  }
  return text;
}

void append_motif_instance(std::string& out, const song::MotifInstance& instance) {
  out += "motif ";
  out += instance.motif;
  out += ' ';
  append_number(out, instance.start);
  // The sound token is always written, so an empty sound leaves its separator.
  out += ' ';
  out += instance.sound;
  append_placement_tail(out, instance.transpose, instance.tuning);
}

std::string format_motif_instance(const song::MotifInstance& instance) {
  std::string text;
  append_motif_instance(text, instance);
  return text;
}

std::string format_subtrack_instance(const song::SubtrackInstance& instance) {
  std::string text = "subtrack ";
  text += instance.subtrack;
  text += ' ';
  append_number(text, instance.start);
  if (instance.sound) {
    text += ' ';
    text += *instance.sound;
  }
  append_placement_tail(text, instance.transpose, instance.tuning);
  return text;
}

}  // namespace tracksmith::track::serialize