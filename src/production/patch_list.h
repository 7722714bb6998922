#pragma once

#include "image/image_patch.h"

// A unit's serial fields as the engine takes them: bytes over the shared image.
using Patch = ImagePatch;
using PatchList = ImagePatchList;
