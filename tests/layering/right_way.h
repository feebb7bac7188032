// A header allowed core/ only that keeps to it: the include check must let it pass.
#pragma once

#include <jpeglib.h>

#include "core/types.h"
