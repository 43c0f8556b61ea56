#include "sg/animation/oxTransformSequence.h"

namespace Kel::Sg {

namespace {

struct CycleMemory {
    uint64_t t = 0;
    uint64_t period = 0;
    uint64_t remainder = 0;
    uint32_t cycles = 0;
    bool valid = false;
};

thread_local CycleMemory tCycleMemory;

} // namespace

uint32_t getCycleTime(int64_t t, int64_t period, int64_t& remainder)
{
    CycleMemory& memory = tCycleMemory;
    const uint64_t ut = uint64_t(t);
    const uint64_t up = uint64_t(period);
    if (!memory.valid || memory.t != ut || memory.period != up) {
        const uint64_t cycles = up ? ut / up : 0;
        memory = {ut, up, ut - cycles * up, uint32_t(cycles), true};
    }
    remainder = int64_t(memory.remainder);
    return memory.cycles;
}

void oxTransformSequence::arkRegisterInitialize(oxFields<oxTransformSequence>& f)
{
    f.add(OX_FIELD(xlateList)).constructWithOwner();
    f.add(OX_FIELD(quatList)).constructWithOwner();
    f.add(OX_FIELD(scaleList)).constructWithOwner();
    f.add(OX_FIELD(timeList)).constructWithOwner();
    f.add(OX_FIELD(startTime)).setDefault(-1.0);
    f.add(OX_FIELD(uniformTimeEnabled)).setDefault(false);
    f.add(OX_FIELD(playMode)).setDefault(REPEAT);
    f.add(OX_FIELD(lastTime)).setDefault(1);
    f.add(OX_FIELD(centerOfRotation)).setDefault(oxVec3f(0, 0, 0));
}

} // namespace Kel::Sg
