// Messages digested through DigestLanes as a caller that keeps its lanes
// busy would, for the tests of the lane kernels.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "digest/algorithm.h"

// The digest texts of the messages, in their order. A few more lanes than
// LaneCount run at once, so that every call fills the kernel once and runs
// it again part full; a lane takes the next message as soon as its own has
// ended, and a call advances every lane by the fewest blocks any has left
// before its end, at most mostBlocks. Where the algorithm's messages end in
// their lanes, those at even places end with their padding in their lane,
// those at odd places as a single stream; elsewhere all as a single stream.
std::vector<std::string> DigestSideBySide(DigestAlgorithm algorithm,
                                          const std::vector<std::string> &messages,
                                          uint32_t mostBlocks);

// The digest text of one message the single-stream way.
std::string DigestOneStream(DigestAlgorithm algorithm, const std::string &message);
