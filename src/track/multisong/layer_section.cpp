#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track::multisong {
namespace {

template <class Placement>
void append_placement_extras(std::string& out, const Placement& placement) {
  for (const auto& override_ : placement.overrides) {
    out += "  ";
    out += serialize::format_note_override(override_);
    out += '\n';
  }
  if (placement.trim) {
    out += "  trim ";
    serialize::append_unsigned(out, placement.trim->first);
    out += ' ';
    serialize::append_unsigned(out, placement.trim->second);
    out += '\n';
  }
}

// Notes written between two offers to the drain: a few hundred kilobytes
// of text, so that a layer of millions of notes goes out in pieces while an
// offer costs next to nothing per note.
constexpr std::size_t NOTES_PER_PIECE = 4096;

// The fewest notes for which a layer's numbers go through a memo.
constexpr std::size_t MEMO_MIN_NOTES = 64;

void write_notes_through(const std::vector<song::Note>& notes, std::string& out,
                         const header_format::Drain& drain, serialize::NumberTextMemo* memo) {
  if (!drain) {
    // Notes are written by start, without reordering the layer's own list.
    // Imported notes mostly stand in that order already, so they are
    // written as they stand while the order is checked on the way; a list
    // found out of order is cut back and written again through a sorted
    // view. Checking the order in a pass of its own first took the 27 MB
    // file from 0.37 s to 0.41 s (medians of 7 alternating runs): the pass
    // reads every note once more.
    const std::size_t notes_begin = out.size();
    std::uint32_t previous = 0;
    for (const song::Note& note : notes) {
      const std::uint32_t key = song::total_order_key(note.start);
      if (key < previous) {
        out.resize(notes_begin);
        for (const std::uint32_t index : song::order_by_start(notes)) {
          serialize::append_note_line(out, notes[index], memo, true);
        }
        return;
      }
      previous = key;
      serialize::append_note_line(out, note, memo, true);
    }
    return;
  }
  // What the drain took cannot be cut back, so here the order is known
  // before the first line.
  const auto write = [&](const song::Note& note, std::size_t k) {
    serialize::append_note_line(out, note, memo, true);
    if ((k + 1) % NOTES_PER_PIECE == 0) header_format::hand_over(out, drain);
  };
  if (song::starts_in_order(notes)) {
    for (std::size_t k = 0; k < notes.size(); ++k) write(notes[k], k);
  } else {
    const std::vector<std::uint32_t> order = song::order_by_start(notes);
    for (std::size_t k = 0; k < order.size(); ++k) write(notes[order[k]], k);
  }
}

void write_notes(const std::vector<song::Note>& notes, std::string& out, const header_format::Drain& drain) {
  // Lengths and volumes repeat: without the memo the 27 MB file took
  // 0.44 s instead of 0.37 s (medians of 7 alternating runs). Its table
  // (8 KiB to clear) pays only over many notes: with a memo for every
  // layer the tiny-tracks crafted file (65,535 one-note layers) took
  // 0.179 s of CPU instead of 0.166 s (medians of 15 alternating runs) and
  // 476 million instructions instead of 403 million (one thread). The memo
  // lives in its own scope: declared beside a test of the count, the
  // compiler cleared it on every call.
  if (notes.size() < MEMO_MIN_NOTES) {
    write_notes_through(notes, out, drain, nullptr);
    return;
  }
  serialize::NumberTextMemo memo;
  write_notes_through(notes, out, drain, &memo);
}

}  // namespace

void serialize_layer(const song::Layer& layer, std::string& out) { serialize_layer(layer, out, {}); }

void serialize_layer(const song::Layer& layer, std::string& out, const header_format::Drain& drain) {
  const std::string directives = serialize::layer_directives(layer);
  if (!directives.empty()) {
    out += directives;
    out += '\n';
  }
  write_notes(layer.notes, out, drain);
  for (const auto& instance : layer.motif_instances) {
    serialize::append_motif_instance(out, instance);
    out += '\n';
    append_placement_extras(out, instance);
  }
  for (const auto& instance : layer.subtrack_instances) {
    out += serialize::format_subtrack_instance(instance);
    out += '\n';
    append_placement_extras(out, instance);
  }
}

}  // namespace tracksmith::track::multisong
