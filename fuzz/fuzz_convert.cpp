// Fuzz target for the whole conversion: bytes in, document text out. Any
// input must give either an import error or a complete document, never a
// crash, hang or sanitizer report.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tracksmith/header_format/document.hpp"
#include "tracksmith/track/midi/import.hpp"

using namespace tracksmith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto imported = track::midi::song_from_midi(std::span<const std::uint8_t>(data, size));
  if (!imported) {
    const std::string text = imported.error().text();
    if (text.empty()) __builtin_trap();
    return 0;
  }
  std::string out;
  header_format::write_document(imported->document, out);
  // A successful import always has a layer, so the document is never empty.
  if (out.rfind("@import std:instruments\n", 0) != 0) __builtin_trap();
  return 0;
}
