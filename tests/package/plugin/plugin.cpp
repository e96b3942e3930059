// A shared-object plugin that converts through the tracksmith library it
// links: the loader finds one C function in it.
#include <tracksmith/tracksmith.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

extern "C" __attribute__((visibility("default"))) int plugin_convert(const std::uint8_t* data, std::size_t size,
                                                                     std::FILE* out) {
  const auto converted = tracksmith::convert(std::span(data, size));
  if (!converted) return 1;
  return std::fwrite(converted->text.data(), 1, converted->text.size(), out) == converted->text.size() ? 0 : 1;
}
