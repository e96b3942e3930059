#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/text.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track::multisong {

// Every float of a song is written as shortest decimal text, so -0 reads "-0".
void serialize_song(const Song& song, std::string& out) {
  if (song.tempo_param) {
    out += "@tempo param ";
    out += song.tempo_param->param;
    // A NaN scale fails the test and is left out.
    if (serialize::beyond_one(song.tempo_param->scale)) {
      out += ' ';
      serialize::append_shortest(out, song.tempo_param->scale);
    }
  } else {
    out += "@tempo ";
    serialize::append_shortest(out, song.tempo);
    if (serialize::beyond_one(song.tempo_ratio)) {
      // The second number is the product rounded to a 32-bit float.
      const float scaled = song.tempo * song.tempo_ratio;
      out += ' ';
      serialize::append_shortest(out, scaled);
    }
  }
  out += '\n';

  if (song.signature_numerator != 4 || song.signature_denominator != 4) {
    out += "@signature ";
    serialize::append_unsigned(out, song.signature_numerator);
    out += ' ';
    serialize::append_unsigned(out, song.signature_denominator);
    out += '\n';
  }
  if (song.seed) {
    out += "@seed ";
    serialize::append_unsigned(out, *song.seed);
    out += '\n';
  }
  for (const auto& [name, value] : song.params) {
    out += "@param ";
    out += name;
    out += ' ';
    serialize::append_shortest(out, value);
    out += '\n';
  }
  if (song.length) {
    out += "@length ";
    serialize::append_shortest(out, *song.length);
    out += '\n';
  }
  for (const auto& layer : song.layers) {
    out += "@layer ";
    out += layer;
    out += '\n';
  }
  for (const auto& marker : song.markers) {
    out += "@marker ";
    serialize::append_shortest(out, marker.time);
    out += ' ';
    out += marker.name;
    out += '\n';
  }
  for (const auto& jump : song.jumps) {
    std::string line = "@jump ";
    line += jump.target;
    append_jump_clauses(line, jump);
    out += line;
    out += '\n';
  }
  for (const auto& jump_at : song.jump_ats) {
    std::string line = "@jump-at ";
    line += position_text(jump_at.at);
    line += ' ';
    line += jump_at.jump.target;
    append_jump_clauses(line, jump_at.jump);
    out += line;
    out += '\n';
  }
}

}  // namespace tracksmith::track::multisong