#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track {

void serialize_sound(const song::Sound& sound, std::string& out) { out += format_sound(sound); }

}  // namespace tracksmith::track