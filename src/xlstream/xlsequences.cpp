// SPDX-License-Identifier: MIT
// PCL XL font and character-attribute operators, each with its attributes
// (value, then attribute identifier) in a fixed order. Every sequence ends
// with its operator, which hands all its bytes to the write callback.
#include "xlstream/xlstream.h"
#include "xlstream/xlcodes.h"

namespace {

// A font name is a ubyte_array, whose count is a uint16: the length counts
// modulo 65536.
void PutFontName(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength)
{
    XLWriteUByteArray(pStream, pbyName, static_cast<uint16_t>(nNameLength));
    XLWriteAttribute(pStream, xl::kAttrFontName);
}

} // namespace

void XLBeginFontHeader(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength,
                       uint8_t nFontFormat)
{
    PutFontName(pStream, pbyName, nNameLength);
    XLWriteUByte(pStream, nFontFormat);
    XLWriteAttribute(pStream, xl::kAttrFontFormat);
    XLWriteOperator(pStream, xl::kOpBeginFontHeader);
}

void XLReadFontHeader(XLStream *pStream, uint16_t nHeaderLength)
{
    XLWriteUInt16(pStream, nHeaderLength);
    XLWriteAttribute(pStream, xl::kAttrFontHeaderLength);
    XLWriteOperator(pStream, xl::kOpReadFontHeader);
}

void XLEndFontHeader(XLStream *pStream) { XLWriteOperator(pStream, xl::kOpEndFontHeader); }

void XLBeginChar(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength)
{
    PutFontName(pStream, pbyName, nNameLength);
    XLWriteOperator(pStream, xl::kOpBeginChar);
}

void XLReadChar(XLStream *pStream, uint16_t nCharCode, uint32_t dwCharDataSize)
{
    XLWriteUInt16(pStream, nCharCode);
    XLWriteAttribute(pStream, xl::kAttrCharCode);
    XLWriteUInt32(pStream, dwCharDataSize);
    XLWriteAttribute(pStream, xl::kAttrCharDataSize);
    XLWriteOperator(pStream, xl::kOpReadChar);
}

void XLEndChar(XLStream *pStream) { XLWriteOperator(pStream, xl::kOpEndChar); }

void XLRemoveFont(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength)
{
    PutFontName(pStream, pbyName, nNameLength);
    XLWriteOperator(pStream, xl::kOpRemoveFont);
}

void XLSetCharAngle(XLStream *pStream, int16_t nAngle)
{
    XLWriteSInt16(pStream, nAngle);
    XLWriteAttribute(pStream, xl::kAttrCharAngle);
    XLWriteOperator(pStream, xl::kOpSetCharAngle);
}

void XLSetCharShear(XLStream *pStream, float x, float y)
{
    XLWriteReal32XY(pStream, x, y);
    XLWriteAttribute(pStream, xl::kAttrCharShear);
    XLWriteOperator(pStream, xl::kOpSetCharShear);
}

void XLSetFont(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength, float fCharSize,
               uint16_t nSymbolSet)
{
    PutFontName(pStream, pbyName, nNameLength);
    XLWriteReal32(pStream, fCharSize);
    XLWriteAttribute(pStream, xl::kAttrCharSize);
    XLWriteUInt16(pStream, nSymbolSet);
    XLWriteAttribute(pStream, xl::kAttrSymbolSet);
    XLWriteOperator(pStream, xl::kOpSetFont);
}

void XLSetCharBoldValue(XLStream *pStream, float fBoldValue)
{
    XLWriteReal32(pStream, fBoldValue);
    XLWriteAttribute(pStream, xl::kAttrCharBoldValue);
    XLWriteOperator(pStream, xl::kOpSetCharBoldValue);
}

void XLText(XLStream *pStream, const uint16_t *pnCodes, const int16_t *pnXSpacing,
            const int16_t *pnYSpacing, uint16_t nCount)
{
    XLWriteUInt16Array(pStream, pnCodes, nCount);
    XLWriteAttribute(pStream, xl::kAttrTextData);
    XLWriteSInt16Array(pStream, pnXSpacing, nCount);
    XLWriteAttribute(pStream, xl::kAttrXSpacingData);
    if (pnYSpacing != nullptr) {
        XLWriteSInt16Array(pStream, pnYSpacing, nCount);
        XLWriteAttribute(pStream, xl::kAttrYSpacingData);
    }
    XLWriteOperator(pStream, xl::kOpText);
}
