// A core header that reaches up into a layer above it: the layer check must refuse it.
#pragma once

#include "core/types.h"
#include "picture/photo.h"
