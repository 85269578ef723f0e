// The media reader's index read from the container's packets, without
// decoding the clip: for codecs whose decoder makes exactly one picture of
// every packet, the packets' timestamps in presentation order and their key
// flags are the frames'. Where decoders are known to part from their
// packets, the index is checked against decoding:
// - at the start, where a decoder drops (or mends) pictures that lean on
//   pictures before the first key frame, the first frames are decoded;
// - a decoder that holds back fewer frames than the packets are reordered
//   by finds out midway and drops frames there, so the packets' reordering
//   must be within what the decoder holds back once it has started;
// - at the end, where frames could be held back, the last stretch from its
//   key frame is decoded when it is short.
// Between those, a well-formed stream decodes one picture per packet; the
// reader checks every frame it decodes in sequence against the index all the
// same (docs/media-index.md).
#pragma once

#include <optional>

#include "cli/media_index.h"

namespace cli {

// The index of `frames` read from its packets, or nothing when its codec or
// its packets do not qualify or decoding disagrees; then the caller indexes
// by decoding. Leaves `frames` anywhere.
std::optional<MediaIndex> IndexFromPackets(FrameSource& frames);

}  // namespace cli
