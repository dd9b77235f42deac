// SPDX-License-Identifier: MIT
// Glyph count from maxp and the character-to-glyph table from cmap
// (platform 3, format 4 subtables).
#include <windows.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "truetype/bereader.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

constexpr uint32_t kLastLookedUpCode = 0xFFFE; // the table has no entry for 0xFFFF
constexpr uint32_t kLastSymbolCode = 254;
constexpr uint32_t kSymbolCodeBase = 0xF000;

// One segment of a format 4 subtable, with the position of its
// idRangeOffset entry (glyphIdArray addresses count from there).
struct Format4Segment {
    uint16_t wStartCode;
    uint16_t wEndCode;
    uint16_t wIdDelta;
    uint16_t wIdRangeOffset;
    size_t nIdRangeOffsetPosition;
};

bool ReadFormat4Segment(const BEReader &subtable, uint32_t nSegments, uint32_t j,
                        Format4Segment &segment)
{
    using namespace CmapFormat4;
    const size_t nEnd = SegmentField(nSegments, kEndCodeArray, j);
    const size_t nStart = SegmentField(nSegments, kStartCodeArray, j);
    const size_t nDelta = SegmentField(nSegments, kIdDeltaArray, j);
    const size_t nRangeOffset = SegmentField(nSegments, kIdRangeOffsetArray, j);
    segment.nIdRangeOffsetPosition = nRangeOffset;
    return subtable.U16(nEnd, segment.wEndCode) && subtable.U16(nStart, segment.wStartCode) &&
           subtable.U16(nDelta, segment.wIdDelta) &&
           subtable.U16(nRangeOffset, segment.wIdRangeOffset);
}

// Glyph of the code at position nIndex of the segment; nDeltaCode is the
// code that idDelta is added to when the segment maps directly.
uint32_t SegmentGlyph(const BEReader &subtable, const Format4Segment &segment,
                      uint32_t nDeltaCode, uint32_t nIndex)
{
    if (segment.wIdRangeOffset == 0)
        return (segment.wIdDelta + nDeltaCode) & 0xFFFF;
    uint16_t wGlyph = 0;
    if (!subtable.U16(segment.nIdRangeOffsetPosition + segment.wIdRangeOffset + 2 * size_t{nIndex},
                      wGlyph))
        return kNoGlyph;
    if (wGlyph == 0)
        return 0;
    return (wGlyph + segment.wIdDelta) & 0xFFFF;
}

// Codes already given a glyph by an earlier segment: the first segment that
// covers a code decides it.
struct ClaimedCodes {
    std::array<uint64_t, 0x10000 / 64> aBits{};

    // The first code from nCode on that no segment has claimed yet; skips
    // claimed runs a word at a time, so overlapping segments stay cheap.
    uint32_t NextUnclaimed(uint32_t nCode, uint32_t nLast) const
    {
        while (nCode <= nLast) {
            const int nClaimedRun = std::countr_one(aBits[nCode >> 6] >> (nCode & 63));
            if (nClaimedRun == 0)
                return nCode;
            nCode += static_cast<uint32_t>(nClaimedRun);
        }
        return nCode;
    }
    void Claim(uint32_t nCode) { aBits[nCode >> 6] |= uint64_t{1} << (nCode & 63); }
};

// Fills the codes nFirst to nLast of one segment; nDeltaBase + code is
// what idDelta is added to for a directly mapped code. Does what
// SegmentGlyph does for each code, with the glyphIdArray bounds checked
// once for the whole run where it lies inside the subtable.
void FillSegment(uint32_t *pnTable, const BEReader &subtable, const Format4Segment &segment,
                 uint32_t nFirst, uint32_t nLast, uint32_t nSegmentFirst, uint32_t nDeltaBase)
{
    if (nFirst > nLast)
        return;
    if (segment.wIdRangeOffset == 0) {
        for (uint32_t c = nFirst; c <= nLast; ++c)
            pnTable[c] = (segment.wIdDelta + nDeltaBase + c) & 0xFFFF;
        return;
    }
    const size_t nRun = segment.nIdRangeOffsetPosition + segment.wIdRangeOffset;
    const size_t nFirstRead = nRun + 2 * size_t{nFirst - nSegmentFirst};
    const size_t nReadBytes = 2 * size_t{nLast - nFirst + 1};
    if (!subtable.Contains(nFirstRead, nReadBytes)) {
        for (uint32_t c = nFirst; c <= nLast; ++c)
            pnTable[c] = SegmentGlyph(subtable, segment, nDeltaBase + c, c - nSegmentFirst);
        return;
    }
    BEReader run;
    subtable.Sub(nFirstRead, nReadBytes, run);
    for (uint32_t c = nFirst; c <= nLast; ++c) {
        uint16_t wGlyph = 0;
        run.U16(2 * size_t{c - nFirst}, wGlyph); // inside: checked for the run
        pnTable[c] = wGlyph == 0 ? 0 : (wGlyph + segment.wIdDelta) & 0xFFFF;
    }
}

// A format 4 subtable's four segment arrays, which all lie inside it:
// checked once as one run of values (endCode, reservedPad, startCode,
// idDelta, idRangeOffset), so that every segment reads whole.
struct SegmentArrays {
    BEU16Run values;
    uint32_t nSegments;
};

bool GetSegmentArrays(const BEReader &subtable, uint32_t nSegments, SegmentArrays &arrays)
{
    BEU16Run values;
    if (!subtable.U16Run(CmapFormat4::kEndCodes, CmapFormat4::SegmentArraysSize(nSegments) / 2, values))
        return false;
    arrays = SegmentArrays{values, nSegments};
    return true;
}

uint16_t SegmentValue(const SegmentArrays &arrays, size_t k, uint32_t j)
{
    return arrays.values.At((CmapFormat4::SegmentField(arrays.nSegments, k, j) - CmapFormat4::kEndCodes) / 2);
}

// Segment j of the checked arrays.
Format4Segment SegmentAt(const SegmentArrays &arrays, uint32_t j)
{
    using namespace CmapFormat4;
    return Format4Segment{SegmentValue(arrays, kStartCodeArray, j), SegmentValue(arrays, kEndCodeArray, j),
                          SegmentValue(arrays, kIdDeltaArray, j), SegmentValue(arrays, kIdRangeOffsetArray, j),
                          SegmentField(arrays.nSegments, kIdRangeOffsetArray, j)};
}

// True when every segment that covers a code starts after the end of the
// one before: then no code is covered twice, and each segment can be
// filled whole without asking which codes an earlier one decided. nMask
// picks the bits of the codes that are compared (0xFF for symbol fonts).
bool SegmentsAscendDisjoint(const SegmentArrays &arrays, uint32_t nMask)
{
    bool bAny = false;
    uint32_t nPreviousEnd = 0;
    for (uint32_t j = 0; j < arrays.nSegments; ++j) {
        const Format4Segment segment = SegmentAt(arrays, j);
        const uint32_t nStart = segment.wStartCode & nMask;
        const uint32_t nEnd = segment.wEndCode & nMask;
        if (nStart > nEnd)
            continue; // covers nothing
        if (bAny && nStart <= nPreviousEnd)
            return false;
        bAny = true;
        nPreviousEnd = nEnd;
    }
    return true;
}

uint32_t SegmentCount(const BEReader &subtable)
{
    uint16_t wSegCountX2 = 0;
    return subtable.U16(CmapFormat4::kSegCountX2, wSegCountX2) ? wSegCountX2 / 2u : 0;
}

// nCount copies of value from pnTable on, by doubling copies: one library
// call per doubling instead of a compare and a store per entry (the table
// has 65535 entries, filled for every new font).
void FillEntries(uint32_t *pnTable, size_t nCount, uint32_t value)
{
    if (nCount == 0)
        return;
    pnTable[0] = value;
    for (size_t nDone = 1; nDone < nCount;) {
        const size_t nCopy = std::min(nDone, nCount - nDone);
        std::memcpy(pnTable + nDone, pnTable, nCopy * sizeof(uint32_t));
        nDone += nCopy;
    }
}

// The filling that precedes the subtable lookups: every entry is written.
void FillIdentityBelowGlyphCount(FontEntry *pEntry)
{
    const uint32_t nIdentity = std::min<uint32_t>(pEntry->nGlyphs, kCharTableEntries);
    for (uint32_t c = 0; c < nIdentity; ++c)
        pEntry->pnCharToGlyph[c] = c;
    FillEntries(pEntry->pnCharToGlyph + nIdentity, kCharTableEntries - nIdentity, kNoGlyph);
}

// The encoding record a font's characters are looked up through.
struct CmapSubtableChoice {
    uint16_t wEncoding;
    uint32_t dwOffset; // from the start of cmap
};

// The first encoding record of platform 3 whose subtable is format 4, read
// with read16(offset, value) from cmap wherever it lies (in memory, or
// through the device context). False when there is none, or the records
// run past cmap before it.
template <typename ReadU16>
bool FindWindowsFormat4(ReadU16 &&read16, CmapSubtableChoice &choice)
{
    const auto read32 = [&read16](size_t nOffset, uint32_t &value) {
        uint16_t wHigh = 0, wLow = 0;
        if (!read16(nOffset, wHigh) || !read16(nOffset + 2, wLow))
            return false;
        value = uint32_t{wHigh} << 16 | wLow;
        return true;
    };
    uint16_t nRecords = 0;
    if (!read16(CmapTable::kNumTables, nRecords))
        return false;
    for (uint32_t k = 0; k < nRecords; ++k) {
        const size_t nRecord = CmapTable::kFirstRecord + CmapTable::kRecordSize * size_t{k};
        uint16_t wPlatform = 0;
        uint16_t wEncoding = 0;
        uint32_t dwOffset = 0;
        if (!read16(nRecord + CmapTable::kPlatformId, wPlatform) ||
            !read16(nRecord + CmapTable::kEncodingId, wEncoding) ||
            !read32(nRecord + CmapTable::kSubtableOffset, dwOffset))
            return false; // the records run past cmap
        uint16_t wFormat = 0;
        if (wPlatform != kSfntPlatformWindows ||
            !read16(size_t{dwOffset} + CmapTable::kSubtableFormat, wFormat) ||
            wFormat != CmapFormat4::kFormat)
            continue;
        choice = CmapSubtableChoice{wEncoding, dwOffset};
        return true;
    }
    return false;
}

// Fills the table from the first encoding record of platform 3 whose
// subtable is format 4: identity below the glyph count and kNoGlyph above,
// then the subtable's mapping (a Unicode subtable writes every entry
// itself).
void MapFromCmap(FontEntry *pEntry, const BEReader &cmap)
{
    CmapSubtableChoice choice{};
    if (!FindWindowsFormat4([&cmap](size_t nOffset, uint16_t &value) { return cmap.U16(nOffset, value); },
                            choice)) {
        FillIdentityBelowGlyphCount(pEntry);
        return;
    }
    // glyphIdArray reads may reach to the end of cmap: large format 4
    // subtables outgrow their 16-bit length field.
    BEReader subtable;
    cmap.Tail(choice.dwOffset, subtable);
    if (choice.wEncoding == CmapTable::kEncodingUnicodeBmp) {
        MapSegmentsUnicode(pEntry, subtable.Data(), static_cast<uint32_t>(subtable.Size()));
    } else {
        FillIdentityBelowGlyphCount(pEntry);
        MapSegmentsSymbol(pEntry, subtable.Data(), static_cast<uint32_t>(subtable.Size()));
    }
}

} // namespace

uint16_t GetNumberOfGlyphsInFont(FontFace *pFace)
{
    uint16_t nGlyphs = 0;
    uint32_t dwMaxpSize = 0;
    const uint8_t *pMaxp = pFace ? FaceTable(*pFace, "maxp", &dwMaxpSize, TableRecord::kFirst) : nullptr;
    BEReader(pMaxp, dwMaxpSize).U16(MaxpTable::kNumGlyphs, nGlyphs);
    return nGlyphs;
}

int BuildCharToGlyphTable(FontFace *pFace, FontEntry *pEntry)
{
    if (!pFace || !pEntry || !pEntry->pnCharToGlyph)
        return 0;
    uint32_t dwCmapSize = 0;
    const uint8_t *pCmap = FaceTable(*pFace, "cmap", &dwCmapSize);
    if (!pCmap) {
        FillIdentityBelowGlyphCount(pEntry);
        return 0;
    }
    MapFromCmap(pEntry, BEReader(pCmap, dwCmapSize));
    return 1;
}

void MapSegmentsUnicode(FontEntry *pEntry, const uint8_t *pSubtable, uint32_t dwAvailable)
{
    if (!pEntry || !pEntry->pnCharToGlyph)
        return;
    uint32_t *pnTable = pEntry->pnCharToGlyph;
    FillEntries(pnTable, kLastLookedUpCode + 1, kNoGlyph);

    const BEReader subtable(pSubtable, dwAvailable);
    const uint32_t nSegments = SegmentCount(subtable);
    SegmentArrays arrays{};
    if (GetSegmentArrays(subtable, nSegments, arrays) && SegmentsAscendDisjoint(arrays, 0xFFFF)) {
        for (uint32_t j = 0; j < nSegments; ++j) {
            const Format4Segment segment = SegmentAt(arrays, j);
            const uint32_t nLast = std::min<uint32_t>(segment.wEndCode, kLastLookedUpCode);
            FillSegment(pnTable, subtable, segment, segment.wStartCode, nLast, segment.wStartCode, 0);
        }
        return;
    }
    ClaimedCodes claimed;
    for (uint32_t j = 0; j < nSegments; ++j) {
        Format4Segment segment{};
        if (!ReadFormat4Segment(subtable, nSegments, j, segment))
            break; // this and every later segment run past the subtable
        const uint32_t nLast = std::min<uint32_t>(segment.wEndCode, kLastLookedUpCode);
        for (uint32_t c = claimed.NextUnclaimed(segment.wStartCode, nLast); c <= nLast;
             c = claimed.NextUnclaimed(c + 1, nLast)) {
            claimed.Claim(c);
            pnTable[c] = SegmentGlyph(subtable, segment, c, c - segment.wStartCode);
        }
    }
}

void MapSegmentsSymbol(FontEntry *pEntry, const uint8_t *pSubtable, uint32_t dwAvailable)
{
    if (!pEntry || !pEntry->pnCharToGlyph)
        return;
    uint32_t *pnTable = pEntry->pnCharToGlyph;
    FillEntries(pnTable, kLastSymbolCode + 1, kNoGlyph);

    // Symbol fonts place their characters at 0xF000 + code; segments are
    // matched on the low bytes of their codes.
    const BEReader subtable(pSubtable, dwAvailable);
    const uint32_t nSegments = SegmentCount(subtable);
    ClaimedCodes claimed;
    for (uint32_t j = 0; j < nSegments; ++j) {
        Format4Segment segment{};
        if (!ReadFormat4Segment(subtable, nSegments, j, segment))
            break;
        const uint32_t nFirst = segment.wStartCode & 0xFFu;
        const uint32_t nLast = std::min<uint32_t>(segment.wEndCode & 0xFFu, kLastSymbolCode);
        for (uint32_t c = claimed.NextUnclaimed(nFirst, nLast); c <= nLast;
             c = claimed.NextUnclaimed(c + 1, nLast)) {
            claimed.Claim(c);
            pnTable[c] = SegmentGlyph(subtable, segment, kSymbolCodeBase + c, c - nFirst);
        }
    }
}

namespace {

using LookupKind = CharGlyphLookup::Kind;

// One value of cmap at dwOffset: in place from a font file, through
// GetFontData from the device context; either way read by a BEReader.
bool CmapU16(FontFace &face, size_t nOffset, uint16_t &value)
{
    if (face.bFromFile) {
        uint32_t dwSize = 0;
        const uint8_t *pCmap = FaceTable(face, "cmap", &dwSize);
        return BEReader(pCmap, dwSize).U16(nOffset, value);
    }
    uint8_t aby[2];
    if (face.pSession == nullptr || nOffset > 0xFFFFFFF0u ||
        GetFontData(face.pSession->hdc, FontTableTag("cmap"), static_cast<DWORD>(nOffset), aby, 2) != 2)
        return false;
    return BEReader(aby, 2).U16(0, value);
}

// The subtable from its offset on: the whole tail of cmap in place from a
// font file; through the device context a copy of its header, segment
// arrays and, as far as its length field says, its glyphIdArray (or as much
// of them as cmap holds). Values past the copy are read from cmap one by
// one: a large subtable's 16-bit length falls short of its end.
bool ReadSubtable(CharGlyphLookup &lookup)
{
    FontFace &face = *lookup.pFace;
    if (face.bFromFile) {
        uint32_t dwSize = 0;
        const uint8_t *pCmap = FaceTable(face, "cmap", &dwSize);
        BEReader(pCmap, dwSize).Tail(lookup.dwSubtableOffset, lookup.subtable);
        lookup.nSegments = SegmentCount(lookup.subtable);
        return true;
    }
    uint16_t wSegCountX2 = 0;
    CmapU16(face, size_t{lookup.dwSubtableOffset} + CmapFormat4::kSegCountX2, wSegCountX2);
    uint16_t wLength = 0;
    CmapU16(face, size_t{lookup.dwSubtableOffset} + CmapFormat4::kLength, wLength);
    const size_t nWanted =
        std::max<size_t>(CmapFormat4::kEndCodes + CmapFormat4::SegmentArraysSize(wSegCountX2 / 2u), wLength);
    const DWORD dwAvailable = GetFontData(face.pSession->hdc, FontTableTag("cmap"), lookup.dwSubtableOffset, nullptr, 0);
    if (dwAvailable == GDI_ERROR)
        return true; // nothing to read: every code unmapped
    const size_t nCopy = std::min<size_t>(nWanted, dwAvailable);
    lookup.pCopy = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, std::max<size_t>(nCopy, 1)));
    if (lookup.pCopy == nullptr)
        return false;
    const DWORD dwRead = GetFontData(face.pSession->hdc, FontTableTag("cmap"), lookup.dwSubtableOffset,
                                     lookup.pCopy, static_cast<DWORD>(nCopy));
    lookup.subtable = BEReader(lookup.pCopy, dwRead == GDI_ERROR ? 0 : dwRead);
    lookup.nSegments = SegmentCount(lookup.subtable);
    return true;
}

// A value of the subtable at nOffset: from what was read of it, else (the
// glyphIdArray through the device context) from cmap itself.
bool SubtableU16(const CharGlyphLookup &lookup, size_t nOffset, uint16_t &value)
{
    if (lookup.subtable.U16(nOffset, value))
        return true;
    return !lookup.pFace->bFromFile && CmapU16(*lookup.pFace, lookup.dwSubtableOffset + nOffset, value);
}

// SegmentGlyph, with glyphIdArray read where it lies.
uint32_t LookupSegmentGlyph(const CharGlyphLookup &lookup, const Format4Segment &segment,
                            uint32_t nDeltaCode, uint32_t nIndex)
{
    if (segment.wIdRangeOffset == 0)
        return (segment.wIdDelta + nDeltaCode) & 0xFFFF;
    uint16_t wGlyph = 0;
    if (!SubtableU16(lookup, segment.nIdRangeOffsetPosition + segment.wIdRangeOffset + 2 * size_t{nIndex},
                     wGlyph))
        return kNoGlyph;
    if (wGlyph == 0)
        return 0;
    return (wGlyph + segment.wIdDelta) & 0xFFFF;
}

// True when every segment covers codes and starts after the end of the one
// before: then the first segment whose end reaches a code is the only one
// that can cover it.
bool SegmentsSorted(const SegmentArrays &arrays)
{
    using namespace CmapFormat4;
    if (arrays.nSegments == 0)
        return true;
    // Every segment is looked at (no early exit), so the loop has no branch
    // that depends on the font: thousands of segments in a CJK font.
    bool bUnsorted = SegmentValue(arrays, kStartCodeArray, 0) > SegmentValue(arrays, kEndCodeArray, 0);
    for (uint32_t j = 1; j < arrays.nSegments; ++j) {
        const uint16_t wStart = SegmentValue(arrays, kStartCodeArray, j);
        const uint16_t wEnd = SegmentValue(arrays, kEndCodeArray, j);
        bUnsorted |= (wStart > wEnd) | (wStart <= SegmentValue(arrays, kEndCodeArray, j - 1));
    }
    return !bUnsorted;
}

// The last segment arrays checked: endCode, reservedPad and startCode as
// they were, whether they were sorted, and their block ends. A job asks for
// one font's codes request after request, and checking thousands of CJK
// segments again costs some thirty times a compare of the arrays' bytes. The
// compare is exact, so a different or altered subtable never borrows the
// verdict; one subtable is kept, so the memory stays bounded.
// Calls into the library are serialized, so this needs no lock.
struct CheckedSegments {
    uint32_t nSegments = 0; // 0: none kept
    bool bSorted = false;
    uint16_t awBlockEnds[0x8000 / CharGlyphLookup::kSegmentBlock]{};
    uint8_t abyArrays[2 * (2 * 0x7FFF + 1)]{}; // endCode, reservedPad, startCode
};
CheckedSegments g_checked;

// Bytes of the arrays that decide the verdict and the block ends.
size_t CheckedBytes(uint32_t nSegments) { return 2 * (2 * size_t{nSegments} + 1); }

// Sets the lookup's verdict and block ends from the arrays, checking them
// unless they are the ones checked last.
void CheckSegments(CharGlyphLookup &lookup, const SegmentArrays &arrays)
{
    const size_t nBytes = CheckedBytes(arrays.nSegments);
    const uint32_t nBlock = CharGlyphLookup::kSegmentBlock;
    const size_t nBlockBytes = sizeof(uint16_t) * ((arrays.nSegments + nBlock - 1) / nBlock);
    // The values run holds 4 * nSegments + 1 entries: the compared bytes lie inside it.
    if (arrays.nSegments != 0 && g_checked.nSegments == arrays.nSegments &&
        std::memcmp(g_checked.abyArrays, arrays.values.pData, nBytes) == 0) {
        lookup.bSorted = g_checked.bSorted;
        std::memcpy(lookup.awBlockEnds, g_checked.awBlockEnds, nBlockBytes);
        return;
    }
    lookup.bSorted = SegmentsSorted(arrays);
    if (lookup.bSorted)
        for (uint32_t b = 0; b * nBlock < arrays.nSegments; ++b)
            lookup.awBlockEnds[b] = SegmentValue(arrays, CmapFormat4::kEndCodeArray,
                                                 std::min(b * nBlock + nBlock, arrays.nSegments) - 1);
    if (arrays.nSegments == 0)
        return;
    g_checked.nSegments = arrays.nSegments;
    g_checked.bSorted = lookup.bSorted;
    std::memcpy(g_checked.abyArrays, arrays.values.pData, nBytes);
    if (lookup.bSorted)
        std::memcpy(g_checked.awBlockEnds, lookup.awBlockEnds, nBlockBytes);
}

// Finds the subtable MapFromCmap maps from, reading cmap through the face.
void OpenLookup(CharGlyphLookup &lookup)
{
    FontFace &face = *lookup.pFace;
    lookup.kind = LookupKind::kIdentity;
    if (!FaceHasCharMap(face)) {
        lookup.kind = LookupKind::kNoCmap;
        return;
    }
    CmapSubtableChoice choice{};
    if (!FindWindowsFormat4([&face](size_t nOffset, uint16_t &value) { return CmapU16(face, nOffset, value); },
                            choice))
        return;
    lookup.dwSubtableOffset = choice.dwOffset;
    if (!ReadSubtable(lookup)) {
        lookup.bFailed = true;
        return;
    }
    lookup.kind = choice.wEncoding == CmapTable::kEncodingUnicodeBmp ? LookupKind::kUnicode : LookupKind::kSymbol;
    SegmentArrays arrays{};
    if (lookup.kind != LookupKind::kUnicode || !GetSegmentArrays(lookup.subtable, lookup.nSegments, arrays))
        return;
    CheckSegments(lookup, arrays);
    if (lookup.bSorted)
        lookup.segmentArrays = arrays.values;
}

uint32_t LookUpUnicode(const CharGlyphLookup &lookup, uint32_t nCode)
{
    if (nCode > kLastLookedUpCode)
        return kNoGlyph;
    if (lookup.bSorted) {
        // Checked and sorted when the lookup was opened.
        const SegmentArrays arrays{lookup.segmentArrays, lookup.nSegments};
        // The first segment ending at or after nCode: its block, then the
        // segment inside the block.
        const uint32_t nBlock = CharGlyphLookup::kSegmentBlock;
        const uint32_t nBlocks = (lookup.nSegments + nBlock - 1) / nBlock;
        const uint32_t b = static_cast<uint32_t>(
            std::lower_bound(lookup.awBlockEnds, lookup.awBlockEnds + nBlocks, nCode) - lookup.awBlockEnds);
        if (b == nBlocks)
            return kNoGlyph;
        uint32_t nLow = b * nBlock, nHigh = std::min(nLow + nBlock, lookup.nSegments);
        while (nLow < nHigh) {
            const uint32_t nMiddle = nLow + (nHigh - nLow) / 2;
            if (SegmentValue(arrays, CmapFormat4::kEndCodeArray, nMiddle) < nCode)
                nLow = nMiddle + 1;
            else
                nHigh = nMiddle;
        }
        if (nLow == lookup.nSegments)
            return kNoGlyph;
        const Format4Segment segment = SegmentAt(arrays, nLow);
        return segment.wStartCode <= nCode ? LookupSegmentGlyph(lookup, segment, nCode, nCode - segment.wStartCode)
                                           : kNoGlyph;
    }
    // The first segment that covers the code decides it.
    for (uint32_t j = 0; j < lookup.nSegments; ++j) {
        Format4Segment segment{};
        if (!ReadFormat4Segment(lookup.subtable, lookup.nSegments, j, segment))
            break; // this and every later segment run past the subtable
        if (segment.wStartCode <= nCode && nCode <= segment.wEndCode)
            return LookupSegmentGlyph(lookup, segment, nCode, nCode - segment.wStartCode);
    }
    return kNoGlyph;
}

// Symbol fonts place their characters at 0xF000 + code; segments are
// matched on the low bytes of their codes. Codes above them keep the
// identity below the glyph count.
uint32_t LookUpSymbol(const CharGlyphLookup &lookup, uint32_t nCode)
{
    if (nCode > kLastSymbolCode)
        return nCode < std::min<uint32_t>(lookup.nGlyphs, kCharTableEntries) ? nCode : kNoGlyph;
    for (uint32_t j = 0; j < lookup.nSegments; ++j) {
        Format4Segment segment{};
        if (!ReadFormat4Segment(lookup.subtable, lookup.nSegments, j, segment))
            break;
        const uint32_t nFirst = segment.wStartCode & 0xFFu;
        const uint32_t nLast = std::min<uint32_t>(segment.wEndCode & 0xFFu, kLastSymbolCode);
        if (nFirst <= nCode && nCode <= nLast)
            return LookupSegmentGlyph(lookup, segment, kSymbolCodeBase + nCode, nCode - nFirst);
    }
    return kNoGlyph;
}

} // namespace

CharGlyphLookup::CharGlyphLookup(FontFace *pFaceIn, uint32_t nGlyphsIn)
    : pFace(pFaceIn), nGlyphs(nGlyphsIn), kind(Kind::kUnread), dwSubtableOffset(0), subtable(),
      nSegments(0), bSorted(false), segmentArrays(), pCopy(nullptr), bFailed(false)
{
}

CharGlyphLookup::~CharGlyphLookup()
{
    if (pCopy != nullptr)
        GlobalFree(pCopy);
}

bool FaceHasCharMap(FontFace &face) { return FaceHasTable(face, "cmap"); }

uint32_t LookUpCharGlyph(CharGlyphLookup &lookup, uint16_t nCode)
{
    if (lookup.kind == LookupKind::kUnread)
        OpenLookup(lookup);
    switch (lookup.kind) {
    case LookupKind::kUnicode:
        return LookUpUnicode(lookup, nCode);
    case LookupKind::kSymbol:
        return LookUpSymbol(lookup, nCode);
    default:
        return nCode < std::min<uint32_t>(lookup.nGlyphs, kCharTableEntries) ? nCode : kNoGlyph;
    }
}
