// The list of the effect families' state records.
#include "effects/effect_states.h"

#include "effects/block_scene.h"
#include "effects/blocks.h"
#include "effects/noise.h"
#include "effects/overlays.h"
#include "effects/text_scenes.h"

#include <cstring>
#include <type_traits>

namespace {

struct FamilyState {
    void* record;
    std::size_t bytes;
    void (*reset)();
};

template <class Record>
constexpr FamilyState family_state(Record& record, void (*reset)())
{
    static_assert(std::is_trivially_copyable_v<Record>, "a state record is copied byte for byte");
    return {&record, sizeof record, reset};
}

// A family with state adds its record here.
constexpr FamilyState kFamilies[] = {
    family_state(noise_state, reset_noise_state),
    family_state(blocks_state, reset_blocks_state),
    family_state(block_scene, reset_block_scene_state),
    family_state(overlay_state, reset_overlay_state),
    family_state(text_scene_state, reset_text_scene_state),
};

} // namespace

void reset_effect_states()
{
    for (const FamilyState& family : kFamilies)
        family.reset();
}

EffectStates save_effect_states()
{
    EffectStates saved;
    for (const FamilyState& family : kFamilies) {
        const auto* bytes = static_cast<const unsigned char*>(family.record);
        saved.bytes.insert(saved.bytes.end(), bytes, bytes + family.bytes);
    }
    return saved;
}

void restore_effect_states(const EffectStates& saved)
{
    const unsigned char* from = saved.bytes.data();
    for (const FamilyState& family : kFamilies) {
        std::memcpy(family.record, from, family.bytes);
        from += family.bytes;
    }
}
