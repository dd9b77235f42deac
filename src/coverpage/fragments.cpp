// SPDX-License-Identifier: MIT
// The cover page's fixed PCL XL fragments. Each one is assembled in a local
// buffer and appended to the output file with a single fwrite, so that it
// lands whole between the operators that the stream writer has already
// handed to the same file.
#include <array>
#include <initializer_list>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "coverpage/coverpage.h"
#include "xlstream/xlcodes.h"

namespace {

constexpr uint8_t kClipInterior = 0;

// A Text fragment is built in 5000 bytes: 13 fixed bytes and 4 per character.
constexpr size_t kTextBufferSize = 5000;
constexpr int kMaxTextCharacters = static_cast<int>((kTextBufferSize - 13) / 4);

// Little-endian byte appender over a fixed buffer; it never writes past the
// buffer's end.
template <size_t N>
struct FragmentBuffer {
    std::array<uint8_t, N> bytes{};
    size_t length = 0;

    void Byte(uint8_t value)
    {
        if (length < N)
            bytes[length++] = value;
    }
    void Bytes(std::initializer_list<uint8_t> values)
    {
        for (uint8_t value : values)
            Byte(value);
    }
    // Coordinates, advances and codes travel as the low 16 bits of the value
    // (two's complement for negative numbers).
    void Low16(uint32_t value)
    {
        Byte(static_cast<uint8_t>(value & 0xFF));
        Byte(static_cast<uint8_t>((value >> 8) & 0xFF));
    }
    void Int16(int value) { Low16(static_cast<uint32_t>(value)); }
    void Box(int nLeft, int nTop, int nRight, int nBottom)
    {
        Byte(xl::kSInt16Box);
        Int16(nLeft);
        Int16(nTop);
        Int16(nRight);
        Int16(nBottom);
    }
    void Attribute(uint8_t nId) { Bytes({xl::kAttrUByte, nId}); }
    void WriteTo(FILE *pFile) const
    {
        if (pFile != nullptr && length > 0)
            fwrite(bytes.data(), length, 1, pFile);
    }
};

} // namespace

void WriteClipRectangle(FILE *pFile, int nLeft, int nTop, int nRight, int nBottom)
{
    FragmentBuffer<16> fragment;
    fragment.Bytes({xl::kUByte, kClipInterior});
    fragment.Attribute(xl::kAttrClipRegion);
    fragment.Box(nLeft, nTop, nRight, nBottom);
    fragment.Attribute(xl::kAttrBoundingBox);
    fragment.Byte(xl::kOpSetClipRectangle);
    fragment.WriteTo(pFile);
}

void WriteSetCursor(FILE *pFile, int nX, const int *pnY)
{
    if (pnY == nullptr)
        return;
    FragmentBuffer<8> fragment;
    fragment.Byte(xl::kSInt16XY);
    fragment.Int16(nX);
    fragment.Int16(*pnY);
    fragment.Attribute(xl::kAttrPoint);
    fragment.Byte(xl::kOpSetCursor);
    fragment.WriteTo(pFile);
}

void WriteTextLine(FILE *pFile, const WCHAR *pchText, int nCount, const int *pnAdvances)
{
    if (nCount < 0 || pchText == nullptr || pnAdvances == nullptr)
        nCount = 0;
    if (nCount > kMaxTextCharacters)
        nCount = kMaxTextCharacters;
    FragmentBuffer<kTextBufferSize> fragment;
    fragment.Bytes({xl::kUInt16Array, xl::kUInt16});
    fragment.Int16(nCount);
    for (int i = 0; i < nCount; ++i)
        fragment.Low16(pchText[i]);
    fragment.Attribute(xl::kAttrTextData);
    fragment.Bytes({xl::kUInt16Array, xl::kUInt16});
    fragment.Int16(nCount);
    for (int i = 0; i < nCount; ++i)
        fragment.Int16(pnAdvances[i]);
    fragment.Attribute(xl::kAttrXSpacingData);
    fragment.Byte(xl::kOpText);
    fragment.WriteTo(pFile);
}

void WriteSetROP(FILE *pFile, uint8_t nRop)
{
    FragmentBuffer<5> fragment;
    fragment.Bytes({xl::kUByte, nRop});
    fragment.Attribute(xl::kAttrROP3);
    fragment.Byte(xl::kOpSetROP);
    fragment.WriteTo(pFile);
}

void WriteSetPenSource(FILE *pFile, uint8_t nAttribute, uint8_t nValue)
{
    FragmentBuffer<5> fragment;
    fragment.Bytes({xl::kUByte, nValue});
    fragment.Attribute(nAttribute);
    fragment.Byte(xl::kOpSetPenSource);
    fragment.WriteTo(pFile);
}

void WriteRectangle(FILE *pFile, int nLeft, int nTop, int nRight, int nBottom)
{
    FragmentBuffer<14> fragment;
    fragment.Byte(xl::kOpNewPath);
    fragment.Box(nLeft, nTop, nRight, nBottom);
    fragment.Attribute(xl::kAttrBoundingBox);
    fragment.Bytes({xl::kOpRectanglePath, xl::kOpPaintPath});
    fragment.WriteTo(pFile);
}
