// Fuzz target of the Standard MIDI File reader: any bytes must parse or fail
// cleanly, and every event, payload byte and damage note of a successful
// parse must be readable.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "tracksmith/smf/reader.hpp"

using namespace tracksmith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  auto result = smf::parse(bytes);
  if (!result) {
    // Every failure is one line starting with the fixed prefix.
    const std::string& m = result.error().message;
    if (m.rfind("invalid midi: ", 0) != 0 || m.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  const smf::Smf& smf = *result;
  unsigned sum = 0;
  for (const smf::Track& track : smf.tracks) {
    for (const smf::Event& e : track.events) {
      sum += e.delta + e.data1 + e.data2;
      if (e.is_channel()) {
        if (e.channel > 15 || e.data1 > 127 || e.data2 > 127) std::abort();
        continue;
      }
      if (std::size_t{e.payload_offset} + e.payload_size > size) std::abort();
      for (std::uint8_t b : smf.payload(e)) sum += b;
      if (e.kind == smf::EventKind::Meta && e.meta_kind() == smf::MetaKind::Tempo) {
        sum += smf.tempo(e);
      }
    }
    if (track.damage) {
      if (track.damage->byte_offset >= size || track.damage->reason.empty()) std::abort();
      sum += static_cast<unsigned>(track.damage->reason.size());
    }
  }
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
