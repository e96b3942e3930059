#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track::multisong {

void serialize_sound(const song::Sound& sound, std::string& out) { out += serialize::format_sound(sound); }

}  // namespace tracksmith::track::multisong