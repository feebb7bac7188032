// A header allowed core/ only that reaches into picture/: the include check must refuse it.
#pragma once

#include "core/types.h"
#include "picture/photo.h"
