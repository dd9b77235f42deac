// SPDX-License-Identifier: MIT
// The cover page's fixed PCL XL fragments. Each one is assembled in a local
// buffer and appended to the output file with a single fwrite, so that it
// lands whole between the operators that the stream writer has handed to
// the same file (flushed first when it batches them).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "coverpage/coverpage.h"
#include "session/session.h"
#include "xlstream/xlcodes.h"
#include "xlstream/xlencode.h"

namespace {

constexpr uint8_t kClipInterior = 0;

// A Text fragment is built in 5000 bytes: 13 fixed bytes and 4 per character.
constexpr size_t kTextBufferSize = 5000;
constexpr int kMaxTextCharacters = static_cast<int>((kTextBufferSize - 13) / 4);

// A fixed buffer the encoder appends to; it never writes past its end.
template <size_t N>
struct FragmentBuffer {
    std::array<uint8_t, N> bytes{};
    size_t length = 0;

    void push_back(uint8_t value)
    {
        if (length < N)
            bytes[length++] = value;
    }
    void WriteTo(FILE *pFile) const
    {
        if (pFile == nullptr || length == 0)
            return;
        if (g_pStream != nullptr && g_pStream->pOutputFile == pFile)
            XLStreamFlush(g_pStream);
        fwrite(bytes.data(), length, 1, pFile);
    }
};

// Coordinates, advances and codes travel as the low 16 bits of the value
// (two's complement for negative numbers).
uint16_t Low16(int value)
{
    return static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFF);
}

} // namespace

void WriteClipRectangle(FILE *pFile, int nLeft, int nTop, int nRight, int nBottom)
{
    FragmentBuffer<16> fragment;
    xl::PutUByteAttribute(fragment, kClipInterior, xl::kAttrClipRegion);
    xl::PutBoxAttribute(fragment, Low16(nLeft), Low16(nTop), Low16(nRight), Low16(nBottom),
                        xl::kAttrBoundingBox, xl::kSInt16Box);
    xl::PutOperator(fragment, xl::kOpSetClipRectangle);
    fragment.WriteTo(pFile);
}

void WriteSetCursor(FILE *pFile, int nX, const int *pnY)
{
    if (pnY == nullptr)
        return;
    FragmentBuffer<8> fragment;
    xl::PutXYAttribute(fragment, xl::kSInt16XY, Low16(nX), Low16(*pnY), xl::kAttrPoint);
    xl::PutOperator(fragment, xl::kOpSetCursor);
    fragment.WriteTo(pFile);
}

void WriteTextLine(FILE *pFile, const WCHAR *pchText, int nCount, const int *pnAdvances)
{
    if (nCount < 0 || pchText == nullptr || pnAdvances == nullptr)
        nCount = 0;
    if (nCount > kMaxTextCharacters)
        nCount = kMaxTextCharacters;
    FragmentBuffer<kTextBufferSize> fragment;
    xl::PutUInt16ArrayHead(fragment, static_cast<uint16_t>(nCount));
    for (int i = 0; i < nCount; ++i)
        xl::PutLow16(fragment, pchText[i]);
    xl::PutAttributeId(fragment, xl::kAttrTextData);
    xl::PutUInt16ArrayHead(fragment, static_cast<uint16_t>(nCount));
    for (int i = 0; i < nCount; ++i)
        xl::PutLow16(fragment, Low16(pnAdvances[i]));
    xl::PutAttributeId(fragment, xl::kAttrXSpacingData);
    xl::PutOperator(fragment, xl::kOpText);
    fragment.WriteTo(pFile);
}

void WriteSetROP(FILE *pFile, uint8_t nRop)
{
    FragmentBuffer<5> fragment;
    xl::PutUByteAttribute(fragment, nRop, xl::kAttrROP3);
    xl::PutOperator(fragment, xl::kOpSetROP);
    fragment.WriteTo(pFile);
}

void WriteSetPenSource(FILE *pFile, uint8_t nAttribute, uint8_t nValue)
{
    FragmentBuffer<5> fragment;
    xl::PutUByteAttribute(fragment, nValue, nAttribute);
    xl::PutOperator(fragment, xl::kOpSetPenSource);
    fragment.WriteTo(pFile);
}

void WriteRectangle(FILE *pFile, int nLeft, int nTop, int nRight, int nBottom)
{
    FragmentBuffer<14> fragment;
    xl::PutOperator(fragment, xl::kOpNewPath);
    xl::PutBoxAttribute(fragment, Low16(nLeft), Low16(nTop), Low16(nRight), Low16(nBottom),
                        xl::kAttrBoundingBox, xl::kSInt16Box);
    xl::PutOperator(fragment, xl::kOpRectanglePath);
    xl::PutOperator(fragment, xl::kOpPaintPath);
    fragment.WriteTo(pFile);
}
