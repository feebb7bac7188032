// A core header that keeps to its layer: the layer check must let it pass.
#pragma once

#include <jpeglib.h>

#include "core/types.h"
