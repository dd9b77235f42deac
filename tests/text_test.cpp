// SPDX-License-Identifier: MIT
// The text pieces the library and the tool share: the UTF-8 decoder tells a
// literal U+FFFD from an ill-formed sequence, and names are cut at a
// character boundary.
#include <gtest/gtest.h>

#include "text/text.h"

TEST(SharedText, DecodesAndCutsAtCharacterBoundaries)
{
    const DecodedChar replacement = DecodeUtf8(std::string_view("\xEF\xBF\xBD"));
    EXPECT_TRUE(replacement.wellFormed);
    EXPECT_EQ(replacement.codePoint, kReplacementCharacter);
    const DecodedChar cutShort = DecodeUtf8(std::string_view("\xE2\x82z"));
    EXPECT_FALSE(cutShort.wellFormed);
    EXPECT_EQ(cutShort.length, 2u);
    EXPECT_EQ(DecodeUtf8(std::string_view()).length, 0u);
    const char16_t pair[] = {0xD83D, 0xDE00};
    EXPECT_EQ(DecodeUtf16(pair).codePoint, 0x1F600u);
    EXPECT_FALSE(DecodeUtf16(std::span(pair + 1, 1)).wellFormed);

    // 30 bytes, then U+00E9 across bytes 30 and 31: a logical font keeps 30.
    const std::string name = std::string(30, 'a') + "\xC3\xA9" "b";
    EXPECT_EQ(LogFontFaceName(name), std::string(30, 'a'));
    EXPECT_EQ(LogFontFaceName("DejaVu Sans"), "DejaVu Sans");
    EXPECT_EQ(Utf8FitLength(name, 32), 32u);
    EXPECT_EQ(Utf8FitLength("\xC3\xA9", 1), 0u);
}
