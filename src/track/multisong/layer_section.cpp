#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "track/multisong/track_sections.hpp"
#include "track/serialize/detail/text.hpp"
#include "track/serialize/writers.hpp"

namespace track {
namespace {

// Key whose signed order is the IEEE 754 total order of the float: negative
// values have their magnitude bits flipped so that larger magnitudes sort
// first; -0 lands just below +0, negative NaNs below -inf, NaNs above +inf.
std::int32_t total_order_key(float value) {
  const auto bits = std::bit_cast<std::int32_t>(value);
  return bits < 0 ? bits ^ INT32_MAX : bits;
}

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
    // Sort a view of pointers so the layer's own notes stay in creation order.
    std::vector<const song::Note*> sorted;
    sorted.reserve(layer.notes.size());
    for (const auto& note : layer.notes) sorted.push_back(&note);
    std::stable_sort(sorted.begin(), sorted.end(), [](const song::Note* a, const song::Note* b) {
      return total_order_key(a->start) < total_order_key(b->start);
    });
    for (const song::Note* note : sorted) {
      detail::append_note_line(out, *note);
      out += '\n';
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
