// SPDX-License-Identifier: MIT
// Bounds-checked reader of big-endian values over a run of bytes. Every read
// of TrueType data goes through it: a value that does not lie wholly inside
// the bytes is not read, and the read reports false.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

// nCount big-endian 16-bit values in a row, checked once when made
// (BEReader::U16Run): At(i) for i < nCount reads without a check of its
// own, for loops over a whole array of a table.
struct BEU16Run {
    const uint8_t *pData = nullptr;
    size_t nCount = 0;

    uint16_t At(size_t i) const
    {
        assert(i < nCount);
        return static_cast<uint16_t>((pData[2 * i] << 8) | pData[2 * i + 1]);
    }
};

struct BEReader {
    std::span<const uint8_t> bytes;

    BEReader() = default;
    explicit BEReader(std::span<const uint8_t> span) : bytes(span) {}
    BEReader(const uint8_t *pData, size_t nSize) : bytes(pData, pData ? nSize : 0) {}

    size_t Size() const { return bytes.size(); }
    const uint8_t *Data() const { return bytes.data(); }

    // True when [offset, offset + length) lies inside the bytes (no overflow).
    bool Contains(size_t offset, size_t length) const
    {
        return offset <= bytes.size() && length <= bytes.size() - offset;
    }

    bool U8(size_t offset, uint8_t &value) const
    {
        if (!Contains(offset, 1))
            return false;
        value = bytes[offset];
        return true;
    }

    bool U16(size_t offset, uint16_t &value) const
    {
        if (!Contains(offset, 2))
            return false;
        value = static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
        return true;
    }

    bool I16(size_t offset, int16_t &value) const
    {
        uint16_t raw;
        if (!U16(offset, raw))
            return false;
        value = static_cast<int16_t>(raw);
        return true;
    }

    bool U32(size_t offset, uint32_t &value) const
    {
        if (!Contains(offset, 4))
            return false;
        value = (static_cast<uint32_t>(bytes[offset]) << 24) |
                (static_cast<uint32_t>(bytes[offset + 1]) << 16) |
                (static_cast<uint32_t>(bytes[offset + 2]) << 8) |
                static_cast<uint32_t>(bytes[offset + 3]);
        return true;
    }

    // The four bytes of a table tag as they stand in the font.
    bool Tag(size_t offset, char (&tag)[5]) const
    {
        if (!Contains(offset, 4))
            return false;
        for (size_t i = 0; i < 4; ++i)
            tag[i] = static_cast<char>(bytes[offset + i]);
        tag[4] = '\0';
        return true;
    }

    // The bytes [offset, offset + length) as a reader of their own.
    bool Sub(size_t offset, size_t length, BEReader &out) const
    {
        if (!Contains(offset, length))
            return false;
        out = BEReader(bytes.subspan(offset, length));
        return true;
    }

    // The nCount 16-bit values from offset on, checked here once.
    bool U16Run(size_t offset, size_t nCount, BEU16Run &out) const
    {
        if (nCount > bytes.size() / 2 || !Contains(offset, 2 * nCount))
            return false;
        out = BEU16Run{bytes.data() + offset, nCount};
        return true;
    }

    // The bytes from offset to the end.
    bool Tail(size_t offset, BEReader &out) const
    {
        if (offset > bytes.size())
            return false;
        out = BEReader(bytes.subspan(offset));
        return true;
    }
};

// The writing side, into a buffer the caller has sized: big-endian values
// of tables and glyphs that are built rather than read.
inline void PutBE16(uint8_t *pby, uint16_t value)
{
    pby[0] = static_cast<uint8_t>(value >> 8);
    pby[1] = static_cast<uint8_t>(value);
}

inline void PutBE32(uint8_t *pby, uint32_t value)
{
    PutBE16(pby, static_cast<uint16_t>(value >> 16));
    PutBE16(pby + 2, static_cast<uint16_t>(value));
}
