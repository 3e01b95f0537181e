// aotruth: compares the demo's screen-space occlusion with a ray-traced
// reference of the same scene and camera. Run from the repository root;
// needs a display (scripts/with-display.sh gives one). See AoTruthTool.h.
#include "aotruth/AoTruthTool.h"
#include "core/StandardStreams.h"

int main(int argc, char** argv) {
    if (!OpenClosedStandardStreams("aotruth"))
        return kExitFailed;
    return RunAoTruth(argc, argv);
}
