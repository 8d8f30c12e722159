// The race among several loops; see loop_set.h.
#include "digest/loop_set.h"

#include <string.h>

static bool Usable(const LoopEntrant &entrant) {
    return !entrant.Usable || entrant.Usable();
}

struct SetRace {
    const LoopSet *Set;
    int Index[8]; // the usable entrants, in the set's order
    uint64_t Words[32];
};

static void SetTurn(void *scratch, int entrant, const uint8_t *blocks, uint32_t length) {
    SetRace *race = static_cast<SetRace *>(scratch);
    race->Set->Turn(race->Words, race->Index[entrant], blocks, length);
}

static int FastestOf(const LoopSet *set) {
    DigestChoice *record = DigestChoiceOf(set->Algorithm);
    int fastest = record->FastestLoop.load(std::memory_order_relaxed);
    if (fastest)
        return fastest - 1;
    SetRace race = {set, {0}, {0}};
    int count = 0;
    for (int i = 0; i < set->Count && count < 8; i++)
        if (Usable(set->Entrants[i]))
            race.Index[count++] = i;
    uint64_t best[8];
    RaceEntrants(SetTurn, &race, count, best);
    int winner = 0;
    for (int i = 1; i < count; i++)
        if (best[i] < best[winner])
            winner = i;
    record->FastestLoop.store(race.Index[winner] + 1, std::memory_order_relaxed);
    return race.Index[winner];
}

int ChosenEntrant(const LoopSet *set) {
    DigestChoice *record = DigestChoiceOf(set->Algorithm);
    int chosen = record->Loop.load(std::memory_order_relaxed);
    if (chosen)
        return chosen - 1;
    int fastest = FastestOf(set);
    record->Loop.store(fastest + 1, std::memory_order_relaxed);
    return fastest;
}

int ForceEntrant(const LoopSet *set, const char *name) {
    int entrant = FastestOf(set);
    if (name) {
        entrant = -1;
        for (int i = 0; i < set->Count; i++)
            if (strcmp(name, set->Entrants[i].Name) == 0 && Usable(set->Entrants[i]))
                entrant = i;
        if (entrant < 0)
            return 0;
    }
    DigestChoiceOf(set->Algorithm)->Loop.store(entrant + 1, std::memory_order_relaxed);
    return 1;
}

const char *EntrantName(const LoopSet *set) {
    return set->Entrants[ChosenEntrant(set)].Name;
}
