// CRC-32: the table loop every processor runs, and the choice of loop.
//
// The table loop takes eight bytes a step through eight tables of the
// remainders of a byte shifted on by 0 to 7 bytes, built by the compiler;
// it serves processors without carry-less multiplication, and the few bytes
// past the last 16-byte block on those with it.
#include "digest/crc32.h"

#include <string.h>

#include "digest/choices.h"
#include "digest/crc32_kernels.h"
#include "digest/loop_race.h"

struct CrcTables {
    uint32_t Entries[8][256];
};

// The polynomial with its bits reversed, as the register shifts right.
static const uint32_t ReflectedPolynomial = 0xedb88320;

static constexpr CrcTables MakeTables() {
    CrcTables tables = {};
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t remainder = n;
        for (int bit = 0; bit < 8; bit++)
            remainder = (remainder >> 1) ^ ((remainder & 1) ? ReflectedPolynomial : 0);
        tables.Entries[0][n] = remainder;
    }
    for (int k = 1; k < 8; k++)
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t previous = tables.Entries[k - 1][n];
            tables.Entries[k][n] = (previous >> 8) ^ tables.Entries[0][previous & 0xff];
        }
    return tables;
}

static constexpr CrcTables Tables = MakeTables();

static uint32_t LoadWord(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint32_t Crc32Table(uint32_t crc, const uint8_t *bytes, uint32_t length) {
    const uint32_t(*t)[256] = Tables.Entries;
    for (; length >= 8; length -= 8, bytes += 8) {
        uint32_t one = crc ^ LoadWord(bytes), two = LoadWord(bytes + 4);
        crc = t[7][one & 0xff] ^ t[6][(one >> 8) & 0xff] ^ t[5][(one >> 16) & 0xff] ^
              t[4][one >> 24] ^ t[3][two & 0xff] ^ t[2][(two >> 8) & 0xff] ^
              t[1][(two >> 16) & 0xff] ^ t[0][two >> 24];
    }
    for (; length > 0; length--, bytes++)
        crc = (crc >> 8) ^ t[0][(crc ^ *bytes) & 0xff];
    return crc;
}

static int AlwaysUsable() {
    return 1;
}

struct CrcLoop {
    const char *Name;
    int (*Usable)();
    uint32_t (*Run)(uint32_t crc, const uint8_t *bytes, uint32_t length);
};

static const CrcLoop Loops[] = {
    {"table", AlwaysUsable, Crc32Table},
    {"pclmul", PclmulUsable, Crc32Pclmul},
    {"vpclmul", VpclmulUsable, Crc32Vpclmul},
};
static const int LoopCount = (int)(sizeof Loops / sizeof Loops[0]);

// Which loops may run is asked before the race: the processor's answer can
// take longer than a loop's turn (under a hypervisor, which traps it).
struct LoopRace {
    bool Usable[LoopCount];
    uint32_t Sink;
};

static void LoopTurn(void *scratch, int entrant, const uint8_t *blocks, uint32_t length) {
    LoopRace *race = static_cast<LoopRace *>(scratch);
    if (race->Usable[entrant])
        race->Sink ^= Loops[entrant].Run(0, blocks, length);
}

// The loop in use and the one measured fastest are CRC32's record in the
// table's choices (choices.h), each an index into Loops plus one.
static int Fastest() {
    DigestChoice *record = DigestChoiceOf(AlgorithmCrc32);
    int fastest = record->FastestLoop.load(std::memory_order_relaxed) - 1;
    if (fastest < 0) {
        LoopRace race = {{}, 0};
        for (int i = 0; i < LoopCount; i++)
            race.Usable[i] = Loops[i].Usable() != 0;
        uint64_t best[LoopCount];
        RaceEntrants(LoopTurn, &race, LoopCount, best);
        fastest = 0;
        for (int i = 1; i < LoopCount; i++)
            if (race.Usable[i] && best[i] < best[fastest])
                fastest = i;
        record->FastestLoop.store(fastest + 1, std::memory_order_relaxed);
    }
    return fastest;
}

static const CrcLoop &Chosen() {
    DigestChoice *record = DigestChoiceOf(AlgorithmCrc32);
    int chosen = record->Loop.load(std::memory_order_relaxed) - 1;
    if (chosen < 0) {
        chosen = Fastest();
        record->Loop.store(chosen + 1, std::memory_order_relaxed);
    }
    return Loops[chosen];
}

int Crc32ForceLoop(const char *name) {
    int chosen = Fastest();
    if (name) {
        chosen = -1;
        for (int i = 0; i < LoopCount; i++)
            if (strcmp(name, Loops[i].Name) == 0 && Loops[i].Usable())
                chosen = i;
        if (chosen < 0)
            return 0;
    }
    DigestChoiceOf(AlgorithmCrc32)->Loop.store(chosen + 1, std::memory_order_relaxed);
    return 1;
}

const char *Crc32LoopName() {
    return Chosen().Name;
}

void Crc32Start(Crc32State *state) {
    state->Register = 0xffffffff;
}

void Crc32Add(Crc32State *state, const void *bytes, uint32_t length) {
    const uint8_t *in = static_cast<const uint8_t *>(bytes);
    uint32_t crc = state->Register;
    const CrcLoop &loop = Chosen();
    if (loop.Run != Crc32Table && length >= 64) {
        uint32_t blocks = length & ~15u;
        crc = loop.Run(crc, in, blocks);
        in += blocks;
        length -= blocks;
    }
    state->Register = Crc32Table(crc, in, length);
}

void Crc32End(Crc32State *state, uint8_t *out) {
    uint32_t crc = ~state->Register;
    out[0] = (uint8_t)(crc >> 24);
    out[1] = (uint8_t)(crc >> 16);
    out[2] = (uint8_t)(crc >> 8);
    out[3] = (uint8_t)crc;
}
