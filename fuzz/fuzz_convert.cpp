// Fuzz target for the whole conversion through the front door: bytes in,
// document text out. Any input must give either an error or a complete
// document, never a crash, hang or sanitizer report; the whole model written
// at once must give the same text as the front door, which writes each
// layer where its track is imported; and a conversion on three threads with
// a drain that takes parts of the text as it is made (how much, chosen by
// the input's last byte) must leave, with what it took, the same text as one
// on a single thread without a drain.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tracksmith/track/midi/import.hpp"
#include "tracksmith/tracksmith.hpp"

using namespace tracksmith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  ConvertOptions one_thread;
  one_thread.threads = 1;
  const auto whole = tracksmith::convert(bytes, one_thread);
  if (!whole) {
    if (whole.error().text().empty()) __builtin_trap();
    return 0;
  }
  // A successful import always has a layer, so the document is never empty.
  if (whole->text.rfind("@import std:instruments\n", 0) != 0) __builtin_trap();
  track::midi::ImportOptions import_options;
  import_options.threads = 1;
  const auto model = track::midi::song_from_midi(bytes, import_options);
  if (!model) __builtin_trap();
  std::string at_once;
  header_format::write_document(model->document, at_once);
  if (at_once != whole->text) __builtin_trap();

  const unsigned choice = size > 0 ? data[size - 1] : 0;
  unsigned call = 0;
  std::string drained;
  ConvertOptions options;
  options.threads = 3;
  options.drain = [&](std::string_view finished) {
    // None, a third, two thirds or all of it, in a pattern of four calls.
    const unsigned share = (choice >> (2 * (call++ % 4))) & 3u;
    const std::size_t taken = finished.size() / 3 * share + (share == 3 ? finished.size() % 3 : 0);
    drained.append(finished.substr(0, taken));
    return taken;
  };
  const auto in_parts = tracksmith::convert(bytes, options);
  if (!in_parts || drained + in_parts->text != whole->text) __builtin_trap();
  return 0;
}
