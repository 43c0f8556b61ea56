#pragma once
// Texture pictures of imported models: PNG and JPEG, from files or from bytes embedded in
// the model.
#include <cstddef>

#include "platform/gfx/oxImage.h"

namespace Kel::Sg {

// Reads PNG or JPEG bytes (told apart by their signatures) into `image`; false with a
// warning naming `label` when they are neither or are broken.
bool readImage(Gfx::oxImage* image, const void* data, size_t size, const char* label);
bool readImageFile(Gfx::oxImage* image, const char* path);

} // namespace Kel::Sg
