// Several independent messages digested side by side: MD5, SHA-512 and
// BLAKE2b in the lanes of vector registers, SHA-1 and SHA-256 two at a time
// on the SHA instructions.
// One MD5 step waits on the step before it, and so does one SHA round, so a
// single message leaves most of the processor idle; independent messages
// fill it.
//
// The states are the single-stream ones (digest/algorithm.h): a message may
// start on one path and go on or end on the other. The caller feeds whole
// blocks (LaneBlockSize); a message ends either with its last blocks padded here and
// sent through its lane like any other (LaneEndBlocks, LaneDigestText), which
// keeps the lanes full when the messages are short, or as a single stream
// (AlgorithmAdd of the tail, AlgorithmEnd).
#pragma once

#include <stdint.h>

#include "digest/algorithm.h"
#include "digest/choices.h"

// The length of the algorithm's block, the unit DigestLanes advances a
// message by: 64 bytes for MD5, SHA-1 and SHA-256, 128 for SHA-512.
uint32_t LaneBlockSize(DigestAlgorithm algorithm);

// Whether the algorithm has kernels of its own here. One without goes one
// message after another through its single-stream code: DigestLanes feeds
// each state in turn, and a message ends by that code too (AlgorithmAdd of
// its tail, AlgorithmEnd), never by LaneEndBlocks and LaneDigestText.
bool HasLaneKernels(DigestAlgorithm algorithm);

// Whether a message of the algorithm ends in its lane (LaneEndBlocks,
// LaneDigestText: MD5, SHA-1, SHA-256) or on its single-stream code
// (AlgorithmAdd of its tail, AlgorithmEnd: every other, BLAKE2b among them,
// whose kernels keep each message's latest block back in its state).
bool EndsInLanes(DigestAlgorithm algorithm);

// How many messages DigestLanes advances at once at its best for the
// algorithm on this processor: 1 where one message after another is fastest.
// Fewer messages still run side by side; more run in turns.
uint32_t LaneCount(DigestAlgorithm algorithm);

// Advances count messages of the algorithm by blockCount blocks each:
// states[i] by the blockCount blocks at blocks[i]. Each state holds no
// buffered input (only whole blocks reached it; BLAKE2b's holds its latest
// block back, see digest/blake2b_lanes.h), and the blocks' bytes are below
// 4 GiB. Any count works: the lanes of a kernel that no message fills
// compress a copy of the first message into a state nobody reads.
void DigestLanes(DigestAlgorithm algorithm, AlgorithmState *const states[],
                 const uint8_t *const blocks[], uint32_t count, uint32_t blockCount);

// The one or two blocks that end a message whose whole blocks went through
// DigestLanes: its last tailLength bytes (less than a block; tail may be
// null when there are none), the padding and the length, written to end
// (two blocks). Returns how many blocks: 1 or 2.
uint32_t LaneEndBlocks(const AlgorithmState *state, const uint8_t *tail, uint32_t tailLength,
                       uint8_t *end);

// The digest text of a message whose end blocks went through DigestLanes,
// written as AlgorithmEnd writes it into text, a buffer of size bytes.
void LaneDigestText(const AlgorithmState *state, char *text, uint32_t size);

// The kernel DigestLanes runs is the one that proved fastest here, measured
// once by the first call: "single" (one message after another on the
// single-stream loop), for MD5 "sse2-4", "sse2-8", "avx2-8", "avx2-16",
// "avx512-16" and "avx512-32" (instruction set and messages at once), for
// SHA-1 and SHA-256 "shani-2", for SHA-512 "sse2-2", "avx2-4" and
// "avx512-8", for BLAKE2b "avx2-4" and "avx512-8". Tests and benchmarks
// force one with LanesForceKernel (null: the measured one again), never
// while a digest runs; it returns 0, changing nothing, for a kernel this
// processor cannot run. A forced kernel also takes counts below its width,
// which the measured choice gives to whichever kernel digests that many
// fastest.
int LanesForceKernel(DigestAlgorithm algorithm, const char *name);
const char *LanesKernelName(DigestAlgorithm algorithm);
