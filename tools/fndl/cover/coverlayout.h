// SPDX-License-Identifier: MIT
// The cover page laid out into drawings (coverlayout.cpp), before any of it
// is drawn.
#pragma once

#include <string>

#include "cover/cover.h"
#include "cover/covermeasure.h"

namespace coverpage {

// Lays the page out into cover.drawings; cover.failed when the library
// could not measure.
void LayOutCover(Cover &cover, const CoverSpec &spec);

// The UTF-16 units of a UTF-8 string of the description.
std::u16string Units(const std::string &utf8);

} // namespace coverpage
