// PCL XL font and character-attribute operators, each with its attributes
// (value, then attribute identifier) in a fixed order. Every sequence ends
// with its operator, which hands all its bytes to the write callback.
#include "xlstream/xlstream.h"

namespace {

// PCL XL operators.
constexpr uint16_t kOpBeginFontHeader = 0x4F;
constexpr uint16_t kOpReadFontHeader = 0x50;
constexpr uint16_t kOpEndFontHeader = 0x51;
constexpr uint16_t kOpBeginChar = 0x52;
constexpr uint16_t kOpReadChar = 0x53;
constexpr uint16_t kOpEndChar = 0x54;
constexpr uint16_t kOpRemoveFont = 0x55;
constexpr uint16_t kOpSetCharAngle = 0x64;
constexpr uint16_t kOpSetCharShear = 0x66;
constexpr uint16_t kOpSetFont = 0x6F;
constexpr uint16_t kOpSetCharBoldValue = 0x7D;

// PCL XL attributes.
constexpr uint16_t kAttrCharAngle = 0xA1;
constexpr uint16_t kAttrCharCode = 0xA2;
constexpr uint16_t kAttrCharDataSize = 0xA3;
constexpr uint16_t kAttrCharShear = 0xA5;
constexpr uint16_t kAttrCharSize = 0xA6;
constexpr uint16_t kAttrFontHeaderLength = 0xA7;
constexpr uint16_t kAttrFontName = 0xA8;
constexpr uint16_t kAttrFontFormat = 0xA9;
constexpr uint16_t kAttrSymbolSet = 0xAA;
constexpr uint16_t kAttrCharBoldValue = 0xB1;

// A font name is a ubyte_array, whose count is a uint16: the length counts
// modulo 65536.
void PutFontName(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength)
{
    XLWriteUByteArray(pStream, pbyName, static_cast<uint16_t>(nNameLength));
    XLWriteAttribute(pStream, kAttrFontName);
}

} // namespace

void XLBeginFontHeader(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength,
                       uint8_t nFontFormat)
{
    PutFontName(pStream, pbyName, nNameLength);
    XLWriteUByte(pStream, nFontFormat);
    XLWriteAttribute(pStream, kAttrFontFormat);
    XLWriteOperator(pStream, kOpBeginFontHeader);
}

void XLReadFontHeader(XLStream *pStream, uint16_t nHeaderLength)
{
    XLWriteUInt16(pStream, nHeaderLength);
    XLWriteAttribute(pStream, kAttrFontHeaderLength);
    XLWriteOperator(pStream, kOpReadFontHeader);
}

void XLEndFontHeader(XLStream *pStream) { XLWriteOperator(pStream, kOpEndFontHeader); }

void XLBeginChar(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength)
{
    PutFontName(pStream, pbyName, nNameLength);
    XLWriteOperator(pStream, kOpBeginChar);
}

void XLReadChar(XLStream *pStream, uint16_t nCharCode, uint32_t dwCharDataSize)
{
    XLWriteUInt16(pStream, nCharCode);
    XLWriteAttribute(pStream, kAttrCharCode);
    XLWriteUInt32(pStream, dwCharDataSize);
    XLWriteAttribute(pStream, kAttrCharDataSize);
    XLWriteOperator(pStream, kOpReadChar);
}

void XLEndChar(XLStream *pStream) { XLWriteOperator(pStream, kOpEndChar); }

void XLRemoveFont(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength)
{
    PutFontName(pStream, pbyName, nNameLength);
    XLWriteOperator(pStream, kOpRemoveFont);
}

void XLSetCharAngle(XLStream *pStream, int16_t nAngle)
{
    XLWriteSInt16(pStream, nAngle);
    XLWriteAttribute(pStream, kAttrCharAngle);
    XLWriteOperator(pStream, kOpSetCharAngle);
}

void XLSetCharShear(XLStream *pStream, float x, float y)
{
    XLWriteReal32XY(pStream, x, y);
    XLWriteAttribute(pStream, kAttrCharShear);
    XLWriteOperator(pStream, kOpSetCharShear);
}

void XLSetFont(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength, float fCharSize,
               uint16_t nSymbolSet)
{
    PutFontName(pStream, pbyName, nNameLength);
    XLWriteReal32(pStream, fCharSize);
    XLWriteAttribute(pStream, kAttrCharSize);
    XLWriteUInt16(pStream, nSymbolSet);
    XLWriteAttribute(pStream, kAttrSymbolSet);
    XLWriteOperator(pStream, kOpSetFont);
}

void XLSetCharBoldValue(XLStream *pStream, float fBoldValue)
{
    XLWriteReal32(pStream, fBoldValue);
    XLWriteAttribute(pStream, kAttrCharBoldValue);
    XLWriteOperator(pStream, kOpSetCharBoldValue);
}
