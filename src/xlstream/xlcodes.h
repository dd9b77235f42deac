// PCL XL binary codes: data-type tags, attribute identifiers and operators
// (the published values). Shared by the stream writer, the page fragments,
// the decoder and the tool; depends on nothing.
#pragma once

#include <cstdint>

namespace xl {

// Data-type and token tags.
inline constexpr uint8_t kUByte = 0xC0;
inline constexpr uint8_t kUInt16 = 0xC1;
inline constexpr uint8_t kUInt32 = 0xC2;
inline constexpr uint8_t kSInt16 = 0xC3;
inline constexpr uint8_t kReal32 = 0xC5;
inline constexpr uint8_t kUByteArray = 0xC8;
inline constexpr uint8_t kUInt16Array = 0xC9;
inline constexpr uint8_t kUInt16XY = 0xD1;
inline constexpr uint8_t kSInt16XY = 0xD3;
inline constexpr uint8_t kReal32XY = 0xD5;
inline constexpr uint8_t kSInt16Box = 0xE3;
inline constexpr uint8_t kAttrUByte = 0xF8;
inline constexpr uint8_t kAttrUInt16 = 0xF9;
inline constexpr uint8_t kDataLength = 0xFA;
inline constexpr uint8_t kDataLengthByte = 0xFB;

// Attribute identifiers.
inline constexpr uint8_t kAttrColorSpace = 0x03;
inline constexpr uint8_t kAttrGrayLevel = 0x09;
inline constexpr uint8_t kAttrMediaSize = 0x25;
inline constexpr uint8_t kAttrOrientation = 0x28;
inline constexpr uint8_t kAttrPageOrigin = 0x2A;
inline constexpr uint8_t kAttrROP3 = 0x2C;
inline constexpr uint8_t kAttrBoundingBox = 0x42;
inline constexpr uint8_t kAttrPoint = 0x4C;
inline constexpr uint8_t kAttrClipRegion = 0x53;
inline constexpr uint8_t kAttrDataOrg = 0x82;
inline constexpr uint8_t kAttrMeasure = 0x86;
inline constexpr uint8_t kAttrSourceType = 0x88;
inline constexpr uint8_t kAttrUnitsPerMeasure = 0x89;
inline constexpr uint8_t kAttrErrorReport = 0x8F;
inline constexpr uint8_t kAttrCharAngle = 0xA1;
inline constexpr uint8_t kAttrCharCode = 0xA2;
inline constexpr uint8_t kAttrCharDataSize = 0xA3;
inline constexpr uint8_t kAttrCharShear = 0xA5;
inline constexpr uint8_t kAttrCharSize = 0xA6;
inline constexpr uint8_t kAttrFontHeaderLength = 0xA7;
inline constexpr uint8_t kAttrFontName = 0xA8;
inline constexpr uint8_t kAttrFontFormat = 0xA9;
inline constexpr uint8_t kAttrSymbolSet = 0xAA;
inline constexpr uint8_t kAttrTextData = 0xAB;
inline constexpr uint8_t kAttrXSpacingData = 0xAF;
inline constexpr uint8_t kAttrCharBoldValue = 0xB1;

// Operators.
inline constexpr uint8_t kOpBeginSession = 0x41;
inline constexpr uint8_t kOpEndSession = 0x42;
inline constexpr uint8_t kOpBeginPage = 0x43;
inline constexpr uint8_t kOpEndPage = 0x44;
inline constexpr uint8_t kOpOpenDataSource = 0x48;
inline constexpr uint8_t kOpCloseDataSource = 0x49;
inline constexpr uint8_t kOpBeginFontHeader = 0x4F;
inline constexpr uint8_t kOpReadFontHeader = 0x50;
inline constexpr uint8_t kOpEndFontHeader = 0x51;
inline constexpr uint8_t kOpBeginChar = 0x52;
inline constexpr uint8_t kOpReadChar = 0x53;
inline constexpr uint8_t kOpEndChar = 0x54;
inline constexpr uint8_t kOpRemoveFont = 0x55;
inline constexpr uint8_t kOpSetCharAngle = 0x64;
inline constexpr uint8_t kOpSetBrushSource = 0x63;
inline constexpr uint8_t kOpSetCharShear = 0x66;
inline constexpr uint8_t kOpSetClipRectangle = 0x68;
inline constexpr uint8_t kOpSetColorSpace = 0x6A;
inline constexpr uint8_t kOpSetCursor = 0x6B;
inline constexpr uint8_t kOpSetFont = 0x6F;
inline constexpr uint8_t kOpSetPageOrigin = 0x75;
inline constexpr uint8_t kOpSetPenSource = 0x79;
inline constexpr uint8_t kOpSetROP = 0x7B;
inline constexpr uint8_t kOpSetCharBoldValue = 0x7D;
inline constexpr uint8_t kOpNewPath = 0x85;
inline constexpr uint8_t kOpPaintPath = 0x86;
inline constexpr uint8_t kOpRectanglePath = 0xA1;
inline constexpr uint8_t kOpText = 0xA8;

} // namespace xl
