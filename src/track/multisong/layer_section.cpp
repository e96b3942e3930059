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

// Key whose unsigned order is the IEEE 754 total order of the float:
// negative values have all bits flipped so that larger magnitudes sort first,
// positive ones only the sign bit; -0 lands just below +0, negative NaNs
// below -inf, NaNs above +inf.
std::uint32_t total_order_key(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  return (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
}

// Indices of the notes in the order of a stable sort by start time. Each
// entry packs the start's key above the note's index, so equal starts stay
// in list order; large layers use a radix sort on the key (stable, a few
// passes over 8-byte entries instead of comparisons through pointers).
std::vector<std::uint64_t> sorted_by_start(const std::vector<song::Note>& notes) {
  std::vector<std::uint64_t> order(notes.size());
  bool sorted = true;
  for (std::size_t i = 0; i < notes.size(); ++i) {
    order[i] = (std::uint64_t{total_order_key(notes[i].start)} << 32) | i;
    if (i > 0 && order[i] < order[i - 1]) sorted = false;
  }
  if (sorted) return order;
  if (order.size() < 1024) {
    std::sort(order.begin(), order.end());
    return order;
  }
  constexpr unsigned kBits = 11;
  constexpr std::size_t kBuckets = std::size_t{1} << kBits;
  std::vector<std::uint64_t> scratch(order.size());
  std::vector<std::size_t> count(kBuckets);
  for (unsigned shift = 32; shift < 64; shift += kBits) {
    std::fill(count.begin(), count.end(), 0);
    for (const std::uint64_t entry : order) ++count[(entry >> shift) & (kBuckets - 1)];
    // A digit that every entry shares moves nothing.
    if (count[(order[0] >> shift) & (kBuckets - 1)] == order.size()) continue;
    std::size_t total = 0;
    for (std::size_t& c : count) {
      const std::size_t here = c;
      c = total;
      total += here;
    }
    for (const std::uint64_t entry : order) scratch[count[(entry >> shift) & (kBuckets - 1)]++] = entry;
    order.swap(scratch);
  }
  return order;
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
    // Sort a view of the notes so the layer's own list stays in creation order.
    for (const std::uint64_t entry : sorted_by_start(layer.notes)) {
      detail::append_note_line(out, layer.notes[static_cast<std::uint32_t>(entry)]);
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
