// The effect families' state, as one list. Each family keeps what its
// handlers change outside GL in one record, with a procedure that puts it at
// rest (its own header says which); effect_states.cpp lists them. A run of
// the show starts with every record at rest, and the loading's warm-up saves
// and restores them all round its drawing, so a family left off the list
// would change the show. Main thread.
#pragma once

#include <vector>

// Every record's bytes, in the order of the list.
struct EffectStates {
    std::vector<unsigned char> bytes;
};

// Puts every family's state at rest.
void reset_effect_states();

EffectStates save_effect_states();
void restore_effect_states(const EffectStates& saved);
