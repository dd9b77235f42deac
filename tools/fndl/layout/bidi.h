// SPDX-License-Identifier: MIT
// The Unicode bidirectional algorithm (FriBidi) for the tool's layout: the
// embedding level of each character of a paragraph, and the visual order of
// a line's runs.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// How a paragraph's direction is found: from its first strong character,
// or forced by --ltr or --rtl.
enum class TextDirection : uint8_t { Auto, LeftToRight, RightToLeft };

// The embedding level of each character of text (odd: right to left);
// rightToLeft says the paragraph's own direction. False when FriBidi
// fails (then every level is the paragraph's).
bool BidiLevels(std::u32string_view text, TextDirection direction, std::vector<uint8_t> &levels,
                bool &rightToLeft);

// The visual order, left to right, of runs with these levels, as indexes
// into levels (rule L2: every sequence at a level or above reversed, from
// the highest level down to the lowest odd one).
std::vector<size_t> VisualOrder(std::span<const uint8_t> levels);

// True when a paragraph with c in it needs the layout that shapes and
// orders it: right-to-left characters, combining marks, explicit direction
// controls, joiners.
bool NeedsBidiOrShaping(char32_t c);
