#pragma once
// Decoding one framed track straight into a caller's sink, for callers that
// consume events as they are decoded instead of keeping a list of them.
// Same rules, events and damage notes as smf::decode_track().

#include <concepts>
#include <cstddef>
#include <string>
#include <utility>

#include "tracksmith/smf/detail/track_decoder.hpp"
#include "tracksmith/smf/reader.hpp"

namespace tracksmith::smf {

/// Receives a track's events in file order through `event`, then, when the
/// track was cut short, its damage note through `damage` (at most once, after
/// the last event; never for anything after an end-of-track event).
template <class S>
concept EventSink = requires(S& sink, const Event& e, std::size_t byte_offset,
                             std::string reason) {
  sink.event(e);
  sink.damage(byte_offset, std::move(reason));
};

/// Decodes one framed track into `sink`: the sink sees exactly the events
/// that decode_track() stores, in the same order, and the same TrackDamage
/// fields. Payload offsets refer to the input the chunk was framed from.
/// Never fails.
template <EventSink S>
void decode_events(const TrackChunk& chunk, S& sink) {
  detail::TrackDecoder<S>(chunk, sink).run();
}

}  // namespace tracksmith::smf