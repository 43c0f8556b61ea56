// One steady frame of each side of the OpenSceneGraph comparison under callgrind, for its
// cache simulation: `make bench-misses` runs it as
//
//   valgrind --tool=callgrind --cache-sim=yes --I1=... --D1=... --LL=...
//            --instr-atstart=no --collect-atstart=no oxOsgPeer_misses LEAVES LAYOUT
//
// and bench/peer/callgrindMisses.py reads the two dumps it leaves ("ours", "osg").
//
// The scenes are built and the first frames drawn without instrumentation (at close to
// native speed). Each side then draws one frame uncollected, so that the simulated caches
// hold what a steady frame of that side leaves in them, and one collected frame, which is
// dumped on its own. Outside valgrind the requests do nothing and the program only checks
// that both frames hold one piece of work per leaf.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>

#include "bench/peer/oxOsgPeer.h"

using namespace osgpeer;

int main(int argc, char** argv)
{
    const int leaves = argc > 1 ? std::atoi(argv[1]) : 0;
    const int layout = argc > 2 ? std::atoi(argv[2]) : int(OsgLayout::LikeForLike);
    if (leaves <= 0 || layout < 0 || layout > 2) {
        std::fprintf(stderr, "usage: oxOsgPeer_misses LEAVES [OSG_LAYOUT 0|1|2]\n");
        return 2;
    }
    Kel::Sg::oxSmartPointer<Kel::Sg::oxGroup> oursRoot = benchscene::buildScene(leaves);
    osg::ref_ptr<osg::Group> osgRoot = buildOsgScene(leaves, OsgLayout(layout));
    OursFrame ours;
    OsgCull osgCull;
    for (int warm = 0; warm < 2; ++warm) {
        ours.frame(oursRoot);
        osgCull.frame(osgRoot);
    }
    if (osgCull.leaves() != size_t(leaves) || ours.packages() != leaves) {
        std::fprintf(stderr, "oxOsgPeer_misses: the two frames do not hold one piece of work per leaf\n");
        return 1;
    }

    CALLGRIND_START_INSTRUMENTATION;
    ours.frame(oursRoot);
    CALLGRIND_TOGGLE_COLLECT;
    ours.frame(oursRoot);
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS_AT("ours");

    osgCull.frame(osgRoot);
    CALLGRIND_TOGGLE_COLLECT;
    osgCull.frame(osgRoot);
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS_AT("osg");
    CALLGRIND_STOP_INSTRUMENTATION;

    std::printf("leaves %d, OSG layout %d (%s), output %d\n", leaves, layout, layoutName(OsgLayout(layout)),
                ours.outputSize);
    return 0;
}
