#include <cstdint>
#include <string>
#include <vector>

#include "track/multisong/track_sections.hpp"
#include "track/serialize/detail/text.hpp"
#include "track/serialize/writers.hpp"

namespace track {
namespace {

template <class Placement>
void append_placement_extras(std::string& out, const Placement& placement) {
  for (const auto& override_ : placement.overrides) {
    out += "  ";
    out += format_note_override(override_);
    out += '\n';
  }
  if (placement.trim) {
    out += "  trim ";
    detail::append_unsigned(out, placement.trim->first);
    out += ' ';
    detail::append_unsigned(out, placement.trim->second);
    out += '\n';
  }
}

}  // namespace

void serialize_layer(const song::Layer& layer, std::string& out) {
  const std::string directives = layer_directives(layer);
  if (!directives.empty()) {
    out += directives;
    out += '\n';
  }
  if (!layer.notes.empty()) {
    // Sort a view of the notes so the layer's own list stays in creation
    // order; a list already in order is written as it stands.
    NumberTextMemo memo;
    if (song::starts_in_order(layer.notes)) {
      for (const song::Note& note : layer.notes) {
        detail::append_note_line(out, note, &memo);
        out += '\n';
      }
    } else {
      for (const std::uint32_t index : song::order_by_start(layer.notes)) {
        detail::append_note_line(out, layer.notes[index], &memo);
        out += '\n';
      }
    }
  }
  for (const auto& instance : layer.motif_instances) {
    out += format_motif_instance(instance);
    out += '\n';
    append_placement_extras(out, instance);
  }
  for (const auto& instance : layer.subtrack_instances) {
    out += format_subtrack_instance(instance);
    out += '\n';
    append_placement_extras(out, instance);
  }
}

}  // namespace track
