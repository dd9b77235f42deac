// SPDX-License-Identifier: MIT
// Face-name resolution of the Linux platform layer, shared with the fndl
// tool so that it finds the fonts the library finds. Not part of the
// Windows API.
#pragma once

#include <cstddef>

struct _FcConfig;

// The fontconfig configuration the face matching uses, loaded on first use;
// null when none loads. Callers that query fontconfig themselves use it, so
// that they see the fonts the library sees.
_FcConfig *PlatformFontconfig();

// Font file and face index that a logical font with this face name, weight
// and italic flag resolves to; false when nothing matches.
bool PlatformResolveFace(const char *faceName, int weight, bool italic, char *pathOut,
                         size_t pathSize, int *faceIndexOut);
