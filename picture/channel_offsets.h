// Red, green and blue offsets added to the unadjusted crop before every conversion.
#pragma once

#include "core/converter_state.h"
#include "core/progress.h"

namespace vantrel {

// Adds the offsets to every SourceWindow pixel, clamps each channel to 0..255 and writes
// the result into WorkPlanes and the Image1 surface. Offsets never accumulate: each run
// starts from SourceWindow. Does nothing while no picture is loaded.
void ApplyChannelOffsets(ConverterState& state, int red, int green, int blue,
                         ProgressSink* progress);

}  // namespace vantrel
