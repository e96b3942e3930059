#include <string>

#include "track/multisong/track_sections.hpp"
#include "track/serialize/writers.hpp"

namespace track {

void serialize_sound(const song::Sound& sound, std::string& out) { out += format_sound(sound); }

}  // namespace track
