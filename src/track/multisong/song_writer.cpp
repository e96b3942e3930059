#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/text.hpp"

namespace tracksmith::track::multisong {
namespace {

std::string_view comparison_text(Comparison comparison) {
  switch (comparison) {
    case Comparison::Less:
      return "<";
    case Comparison::LessEqual:
      return "<=";
    case Comparison::Greater:
      return ">";
    case Comparison::GreaterEqual:
      return ">=";
    case Comparison::Equal:
      return "==";
    case Comparison::NotEqual:
      return "!=";
  }
  return "<";
}

// A play count is a whole number: truncated toward zero, with negative values
// and NaN clamped to 0 and anything from 2^32 up to the largest count (the
// largest float below 2^32 is 4294967040, which converts exactly).
std::uint32_t play_count(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 4294967296.0f) return UINT32_MAX;
  return static_cast<std::uint32_t>(value);
}

void append_condition(std::string& text, const JumpCondition& condition) {
  text += " if ";
  const bool plays = std::holds_alternative<subject::Plays>(condition.subject);
  if (const auto* param = std::get_if<subject::Param>(&condition.subject)) {
    text += param->name;
  } else if (plays) {
    text += "plays";
  } else {
    text += "random";
  }
  text += ' ';
  text += comparison_text(condition.comparison);
  text += ' ';
  if (plays) {
    serialize::append_unsigned(text, play_count(condition.value));
  } else {
    serialize::append_shortest(text, condition.value);
  }
}

}  // namespace

void append_jump_clauses(std::string& text, const Jump& jump) {
  // -0 compares equal to 0 and is left out; NaN is written.
  if (jump.offset != 0.0f) {
    text += ' ';
    serialize::append_shortest(text, jump.offset);
  }
  if (jump.tempo_change) {
    if (const auto* ratio = std::get_if<tempo_change::Ratio>(&*jump.tempo_change)) {
      text += " tempo \xC3\x97";
      serialize::append_shortest(text, ratio->value);
    } else {
      text += " tempo ";
      serialize::append_shortest(text, std::get<tempo_change::Absolute>(*jump.tempo_change).value);
    }
  }
  if (jump.via) {
    text += " via ";
    text += jump.via->via;
    text += " sound ";
    text += jump.via->sound;
  }
  if (jump.condition) append_condition(text, *jump.condition);
}

std::string position_text(const SongPosition& position) {
  if (const auto* marker = std::get_if<position::MarkerName>(&position)) return marker->name;
  return serialize::shortest_text(std::get<position::Time>(position).time);
}

}  // namespace tracksmith::track::multisong