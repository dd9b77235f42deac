// SPDX-License-Identifier: MIT
// The PCL XL font header of a TrueType soft font: an 8-byte descriptor, a
// "GT" segment holding a rebuilt table directory (an empty "gdir" in place
// of the glyph tables) with the tables the printer scales and hints with,
// and the null segment.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "download/download.h"
#include "memory/globalblock.h"
#include "text/text.h"
#include "truetype/bereader.h"
#include "truetype/truetype.h"

namespace {

constexpr uint32_t kGTDirectoryBase = SfntOffsetTable::kSize + SfntRecord::kSize; // and gdir
constexpr uint32_t kMaxHeaderBlock = 65535;
constexpr uint32_t kTableBlockSize = 32768;
// More table records than any font has (fonts carry a few dozen tables):
// such a directory is refused, which also bounds the sort below.
constexpr uint16_t kMaxTableRecords = 1024;

// The tables a TrueType soft font header carries; upper-case forms too. A
// three-letter name ends in a NUL within the tag's four bytes, as a
// record's tag holds it.
constexpr char kHeaderTables[][5] = {
    "cvt", "CVT", "cvt ", "CVT ", "fpgm", "FPGM", "head", "HEAD",
    "hhea", "HHEA", "hmtx", "HMTX", "maxp", "MAXP", "prep", "PREP",
};

// Compared as four-byte values: one compare per name, for every record.
constexpr auto kHeaderTableTags = [] {
    std::array<uint32_t, std::size(kHeaderTables)> adwTags{};
    for (size_t k = 0; k < adwTags.size(); ++k)
        adwTags[k] = SfntTag(kHeaderTables[k]);
    return adwTags;
}();

bool IsHeaderTable(const char (&szTag)[5])
{
    const uint32_t dwTag = SfntTag(szTag);
    for (uint32_t dwHeaderTag : kHeaderTableTags) {
        if (dwTag == dwHeaderTag)
            return true;
    }
    return false;
}

// The length a selected table has in the rebuilt directory: its own, but
// never more than the segment carries of the font from where the table
// starts (a font may claim a length past the next table or its own end).
// What is carried is the table's copy and the copies of the selected tables
// that go on from there without a gap in the font: a table that shares its
// offset with the next one has a copy of 0 and lies in that one's bytes.
uint32_t CarriedLength(const TableDescriptor *pDescriptors, uint32_t nDescriptors, uint32_t k)
{
    const uint32_t dwLength = pDescriptors[k].dwLength;
    uint64_t qwCarried = 0;
    uint64_t qwFontOffset = pDescriptors[k].dwOffset;
    for (uint32_t j = k; j < nDescriptors && qwCarried < dwLength; ++j) {
        const TableDescriptor &descriptor = pDescriptors[j];
        if (descriptor.dwOffset != qwFontOffset)
            break;
        if (!descriptor.bSelected) {
            if (descriptor.dwCopyLength != 0)
                break; // its bytes are not in the segment
            continue;
        }
        qwCarried += descriptor.dwCopyLength;
        qwFontOffset += descriptor.dwCopyLength;
    }
    return qwCarried < dwLength ? static_cast<uint32_t>(qwCarried) : dwLength;
}

} // namespace

void SendHeaderBlock(XLStream *pStream, const uint8_t *pbyData, uint32_t nLength)
{
    XLReadFontHeader(pStream, static_cast<uint16_t>(nLength));
    XLWriteEmbeddedData(pStream, pbyData, nLength);
}

void SendTableBlocks(XLStream *pStream, const uint8_t *pbySource, uint32_t dwAvailable,
                     uint32_t dwCopyLength)
{
    static uint8_t abyPadded[kMaxHeaderBlock];
    uint32_t dwSent = 0;
    auto sendBlock = [&](uint32_t nLength) {
        if (dwAvailable >= dwSent && dwAvailable - dwSent >= nLength) {
            SendHeaderBlock(pStream, pbySource + dwSent, nLength);
        } else {
            const uint32_t nFromSource = dwAvailable > dwSent ? dwAvailable - dwSent : 0;
            if (nFromSource > 0)
                std::memcpy(abyPadded, pbySource + dwSent, nFromSource);
            std::memset(abyPadded + nFromSource, 0, nLength - nFromSource);
            SendHeaderBlock(pStream, abyPadded, nLength);
        }
        dwSent += nLength;
    };
    const uint32_t nFullBlocks = 2 * (dwCopyLength / 65536);
    for (uint32_t i = 0; i < nFullBlocks; ++i)
        sendBlock(kTableBlockSize);
    sendBlock(dwCopyLength % 65536);
}

void SendFontHeaderStart(XLStream *pStream, FontEntry *pEntry, uint32_t dwSegmentSize,
                         const uint8_t *pbyDirectory, uint32_t dwDirectorySize,
                         SoftFontCoding coding)
{
    MakeXLFontName(pEntry, coding);
    XLBeginFontHeader(pStream, reinterpret_cast<const uint8_t *>(SoftFontName(pEntry, coding)),
                      SoftFontNameLength(pEntry, coding), 0);

    uint8_t abyDescriptor[8] = {0, 0, 0, 1, 1, 0, 0, 0};
    PutBE16(abyDescriptor + 6, pEntry->nGlyphs & 0xFFFF);
    SendHeaderBlock(pStream, abyDescriptor, sizeof(abyDescriptor));

    uint8_t abySegmentHeader[6] = {'G', 'T'};
    PutBE32(abySegmentHeader + 2, dwSegmentSize);
    SendHeaderBlock(pStream, abySegmentHeader, sizeof(abySegmentHeader));
    SendHeaderBlock(pStream, pbyDirectory, dwDirectorySize);
}

void SendFontHeaderEnd(XLStream *pStream)
{
    const uint8_t abyNullSegment[6] = {0xFF, 0xFF, 0, 0, 0, 0};
    SendHeaderBlock(pStream, abyNullSegment, sizeof(abyNullSegment));
    XLEndFontHeader(pStream);
}

namespace {

// Reads the offset table and directory through the device context: only
// the bytes the directory needs, not the whole font.
uint8_t *ReadDirectoryThroughDC(FontSession *pSession, uint32_t *pdwDirectoryBytes,
                                uint32_t *pdwImageSize)
{
    const DWORD dwImageSize = GetFontData(pSession->hdc, 0, 0, nullptr, 0);
    if (dwImageSize == GDI_ERROR || dwImageSize < SfntOffsetTable::kSize)
        return nullptr;
    uint8_t abyOffsetTable[SfntOffsetTable::kSize];
    if (GetFontData(pSession->hdc, 0, 0, abyOffsetTable, SfntOffsetTable::kSize) != SfntOffsetTable::kSize)
        return nullptr;
    uint16_t nTables = 0;
    ReadSfntTableCount(BEReader(abyOffsetTable, SfntOffsetTable::kSize), 0, nTables);
    uint64_t qwBytes = SfntOffsetTable::kSize + uint64_t{SfntRecord::kSize} * nTables;
    if (qwBytes > dwImageSize)
        return nullptr;
    const auto dwBytes = static_cast<uint32_t>(qwBytes);
    auto *pbyDirectory = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, dwBytes));
    if (pbyDirectory == nullptr)
        return nullptr;
    if (GetFontData(pSession->hdc, 0, 0, pbyDirectory, dwBytes) != dwBytes) {
        GlobalFree(pbyDirectory);
        return nullptr;
    }
    *pdwDirectoryBytes = dwBytes;
    *pdwImageSize = dwImageSize;
    return pbyDirectory;
}

// End of the last table of a font in a collection (tables padded to four
// bytes), within the file.
uint32_t FontExtent(const uint8_t *pbyDirectory, uint32_t dwDirectoryBytes, uint32_t dwFileSize)
{
    const BEReader directory(pbyDirectory, dwDirectoryBytes);
    uint16_t nTables = 0;
    ReadSfntTableCount(directory, 0, nTables);
    uint64_t qwEnd = 0;
    for (uint32_t k = 0; k < nTables; ++k) {
        SfntTableRecord record{};
        if (!ReadSfntTableRecord(directory, 0, k, record))
            break;
        const uint64_t qwTableEnd =
            uint64_t{record.dwOffset} + ((uint64_t{record.dwLength} + 3) & ~uint64_t{3});
        qwEnd = qwTableEnd > qwEnd ? qwTableEnd : qwEnd;
    }
    return qwEnd < dwFileSize ? static_cast<uint32_t>(qwEnd) : dwFileSize;
}

// The order in which the directory's records are kept: by offset, as
// exchanging each newcomer, at the end, with every earlier record whose
// offset is larger leaves them. Records of equal offset (empty tables) end
// up in the order those exchanges give, which the directory sent to the
// printer follows, so it is reproduced: each newcomer is inserted after the
// records of its offset and rotates every run of equal offsets above its
// own left by one. A run's order thus follows from its members' arrival and
// from how many smaller offsets arrive between them, found here without the
// n*n/2 exchanges: a sort, a Fenwick tree and each run's rotations.
void OrderByOffset(const uint32_t *pdwOffsets, uint16_t nCount, uint16_t *pnOrder)
{
    for (uint16_t i = 0; i < nCount; ++i)
        pnOrder[i] = i;
    std::sort(pnOrder, pnOrder + nCount, [pdwOffsets](uint16_t a, uint16_t b) {
        return pdwOffsets[a] != pdwOffsets[b] ? pdwOffsets[a] < pdwOffsets[b] : a < b;
    });
    // For each record: where its offset's run starts in pnOrder (the count of
    // smaller offsets), and the count of smaller offsets that arrived
    // before it (a Fenwick tree over the sorted positions).
    uint16_t anRunStart[kMaxTableRecords];
    uint16_t anPosition[kMaxTableRecords];
    for (uint16_t k = 0; k < nCount; ++k) {
        const bool bNewRun = k == 0 || pdwOffsets[pnOrder[k]] != pdwOffsets[pnOrder[k - 1]];
        anRunStart[pnOrder[k]] = bNewRun ? k : anRunStart[pnOrder[k - 1]];
        anPosition[pnOrder[k]] = k;
    }
    uint16_t anTree[kMaxTableRecords + 1] = {};
    uint16_t anSmallerBefore[kMaxTableRecords];
    for (uint16_t i = 0; i < nCount; ++i) {
        uint16_t nSmaller = 0;
        for (uint32_t at = anRunStart[i]; at > 0; at &= at - 1)
            nSmaller = static_cast<uint16_t>(nSmaller + anTree[at]);
        anSmallerBefore[i] = nSmaller;
        for (uint32_t at = anPosition[i] + 1u; at <= nCount; at += at & (0u - at))
            ++anTree[at];
    }
    // Each run, its members in arrival order, rebuilt as the exchanges
    // leave it in a ring of the run's size: the members held so far rotated
    // by the smaller offsets that arrived before the next one, the whole
    // run by those that came after. A rotation moves no more members than
    // smaller offsets arrived, and none once the ring is full.
    uint16_t anRing[kMaxTableRecords];
    for (uint16_t nRun = 0; nRun < nCount;) {
        uint16_t nEnd = nRun + 1;
        while (nEnd < nCount && pdwOffsets[pnOrder[nEnd]] == pdwOffsets[pnOrder[nRun]])
            ++nEnd;
        uint16_t *pnRun = pnOrder + nRun;
        const uint32_t nMembers = nEnd - nRun;
        if (nMembers == 1) {
            nRun = nEnd;
            continue;
        }
        uint32_t nFront = 0;
        uint32_t nHeld = 0;
        auto rotateLeft = [&](uint32_t nBy) {
            nBy %= nHeld;
            if (nHeld == nMembers) {
                nFront = (nFront + nBy) % nMembers;
                return;
            }
            for (; nBy > 0; --nBy) {
                anRing[(nFront + nHeld) % nMembers] = anRing[nFront];
                nFront = (nFront + 1) % nMembers;
            }
        };
        uint32_t nSmallerSoFar = anSmallerBefore[pnRun[0]];
        anRing[nHeld++] = pnRun[0];
        for (uint32_t k = 1; k < nMembers; ++k) {
            rotateLeft(anSmallerBefore[pnRun[k]] - nSmallerSoFar);
            nSmallerSoFar = anSmallerBefore[pnRun[k]];
            anRing[(nFront + nHeld++) % nMembers] = pnRun[k];
        }
        rotateLeft(nRun - nSmallerSoFar);
        for (uint32_t k = 0; k < nMembers; ++k)
            pnRun[k] = anRing[(nFront + k) % nMembers];
        nRun = nEnd;
    }
}

// Copies of the selected tables read through the device context, by
// descriptor index; released with their owner.
struct HeaderTables {
    uint32_t nTables = 0;
    GlobalBlock<uint8_t *> ppbyTable;
    GlobalBlock<uint32_t> pdwTableSize;

    ~HeaderTables()
    {
        for (uint32_t k = 0; ppbyTable && k < nTables; ++k)
            ReleaseFontTable(ppbyTable.get()[k]);
    }
};

bool ReadHeaderTables(FontSession *pSession, const TableDescriptor *pDescriptors,
                      uint32_t nDescriptors, HeaderTables &tables)
{
    const uint32_t nSlots = nDescriptors > 0 ? nDescriptors : 1;
    tables.nTables = nDescriptors;
    tables.ppbyTable.reset(static_cast<uint8_t **>(GlobalAlloc(GPTR, nSlots * sizeof(uint8_t *))));
    tables.pdwTableSize.reset(static_cast<uint32_t *>(GlobalAlloc(GPTR, nSlots * sizeof(uint32_t))));
    if (!tables.ppbyTable || !tables.pdwTableSize)
        return false;
    for (uint32_t k = 0; k < nDescriptors; ++k) {
        if (!pDescriptors[k].bSelected)
            continue;
        tables.pdwTableSize.get()[k] = ReadTableThroughDC(
            pSession, FontTableTag(pDescriptors[k].szTag), &tables.ppbyTable.get()[k]);
        if (tables.ppbyTable.get()[k] == nullptr)
            return false;
    }
    return true;
}

} // namespace

const char *SoftFontName(const FontEntry *pEntry, SoftFontCoding coding)
{
    return coding == SoftFontCoding::kGlyph ? pEntry->szXLGlyphFontName : pEntry->szXLFontName;
}

uint32_t SoftFontNameLength(const FontEntry *pEntry, SoftFontCoding coding)
{
    return static_cast<uint32_t>(strnlen(SoftFontName(pEntry, coding), sizeof(pEntry->szXLFontName)));
}

void MakeXLFontName(FontEntry *pEntry, SoftFontCoding coding)
{
    char szPrefix[32];
    std::snprintf(szPrefix, sizeof(szPrefix), "OT:%x:", static_cast<unsigned>(pEntry->nFontId));
    const char *szSuffix = coding == SoftFontCoding::kGlyph ? ":g" : ":n";
    char *szName = coding == SoftFontCoding::kGlyph ? pEntry->szXLGlyphFontName : pEntry->szXLFontName;
    static_assert(sizeof(pEntry->szXLGlyphFontName) == sizeof(pEntry->szXLFontName));
    const size_t nPrefix = std::strlen(szPrefix);
    const size_t nRoom = sizeof(pEntry->szXLFontName) - 1 - nPrefix - std::strlen(szSuffix);
    // A face name too long for the field is cut at a UTF-8 character
    // boundary, so the name stays well-formed and identical at every use.
    const std::string_view face(pEntry->szFaceName,
                                strnlen(pEntry->szFaceName, sizeof(pEntry->szFaceName)));
    const size_t nFace = Utf8FitLength(face, nRoom);
    std::snprintf(szName, sizeof(pEntry->szXLFontName), "%s%.*s%s", szPrefix,
                  static_cast<int>(nFace), pEntry->szFaceName, szSuffix);
}

int ReadTableDirectory(const uint8_t *pbyDirectory, uint32_t dwDirectoryBytes,
                       uint32_t dwImageSize, TableDescriptor **ppDescriptors,
                       uint32_t *pnDescriptors)
{
    *ppDescriptors = nullptr;
    *pnDescriptors = 0;
    const BEReader directory(pbyDirectory, dwDirectoryBytes);
    uint16_t nTables = 0;
    if (!ReadSfntTableCount(directory, 0, nTables) || nTables > kMaxTableRecords ||
        !directory.Contains(SfntOffsetTable::kSize, size_t{SfntRecord::kSize} * nTables))
        return -1;

    const size_t nBytes = sizeof(TableDescriptor) * (nTables > 0 ? nTables : 1);
    GlobalBlock<TableDescriptor> descriptors(static_cast<TableDescriptor *>(GlobalAlloc(GMEM_FIXED, nBytes)));
    TableDescriptor *pDescriptors = descriptors.get();
    if (pDescriptors == nullptr)
        return -1;
    std::memset(pDescriptors, 0, nBytes);

    // The whole directory lies inside: checked above.
    uint32_t adwOffsets[kMaxTableRecords];
    for (uint32_t k = 0; k < nTables; ++k)
        directory.U32(SfntOffsetTable::kSize + SfntRecord::kSize * size_t{k} + SfntRecord::kOffset,
                      adwOffsets[k]);
    uint16_t anOrder[kMaxTableRecords];
    OrderByOffset(adwOffsets, nTables, anOrder);

    int nSelected = 0;
    for (uint32_t k = 0; k < nTables; ++k) {
        TableDescriptor &descriptor = pDescriptors[k];
        SfntTableRecord record{};
        ReadSfntTableRecord(directory, 0, anOrder[k], record);
        std::memcpy(descriptor.szTag, record.szTag, sizeof(descriptor.szTag));
        descriptor.dwCheckSum = record.dwCheckSum;
        descriptor.dwOffset = record.dwOffset;
        descriptor.dwLength = record.dwLength;
        descriptor.bSelected = IsHeaderTable(descriptor.szTag) ? 1 : 0;
        nSelected += descriptor.bSelected;
    }

    for (uint32_t k = 0; k < nTables; ++k) {
        TableDescriptor &descriptor = pDescriptors[k];
        if (k + 1 < nTables) {
            const uint32_t dwGap = pDescriptors[k + 1].dwOffset - descriptor.dwOffset;
            const uint32_t dwPadded = (descriptor.dwLength + 3) & ~3u;
            descriptor.dwCopyLength = dwGap < dwPadded ? dwGap : dwPadded;
        } else {
            // The last table's copy ends with its padding, or with the font
            // when that comes first: bytes that follow a font are no part
            // of it, and a file can go on for gigabytes after its tables.
            const uint64_t qwEnd = uint64_t{descriptor.dwOffset} + descriptor.dwLength;
            const uint32_t dwPadded = (descriptor.dwLength + 3) & ~3u;
            descriptor.dwCopyLength = dwImageSize > qwEnd
                                          ? std::min(dwImageSize - descriptor.dwOffset, dwPadded)
                                          : descriptor.dwLength;
        }
    }

    uint64_t qwNextOffset = kGTDirectoryBase + uint64_t{SfntRecord::kSize} * nSelected;
    for (uint32_t k = 0; k < nTables; ++k) {
        TableDescriptor &descriptor = pDescriptors[k];
        if (!descriptor.bSelected)
            continue;
        // A table sent to the printer must lie inside the font, and the
        // segment it goes into must stay within its 32-bit size.
        if (uint64_t{descriptor.dwOffset} + descriptor.dwCopyLength > dwImageSize ||
            qwNextOffset > 0xFFFFFFFFu)
            return -1;
        descriptor.dwNewOffset = static_cast<uint32_t>(qwNextOffset);
        qwNextOffset += descriptor.dwCopyLength;
    }
    if (qwNextOffset > 0xFFFFFFFFu)
        return -1;

    *ppDescriptors = descriptors.release();
    *pnDescriptors = nTables;
    return nSelected;
}

Status DownloadFontHeader(FontFace *pFace, FontEntry *pEntry, XLStream *pStream, SoftFontCoding coding)
{
    const bool bFromFile = pFace->bFromFile;
    // The font's offset table and directory, and where table offsets count
    // from. Everything taken below goes back when the header is done or
    // given up.
    GlobalBlock<uint8_t> directoryCopy;  // device-context source
    const uint8_t *pbyImage = nullptr;
    const uint8_t *pbyDirectory = nullptr;
    uint32_t dwImageSize = 0;
    uint32_t dwDirectoryBytes = 0;
    if (bFromFile) {
        const uint8_t *pbyView = nullptr;
        if (!FaceFileImage(*pFace, &pbyView, &dwImageSize))
            return Status::kRefused;
        const int64_t nDirectoryOffset = FontDirectoryOffset(pbyView, dwImageSize);
        if (nDirectoryOffset < 0)
            return Status::kRefused;
        pbyImage = pbyView;
        pbyDirectory = pbyView + nDirectoryOffset;
        dwDirectoryBytes = dwImageSize - static_cast<uint32_t>(nDirectoryOffset);
        // In a collection the file goes on with the other fonts' tables: the
        // first font ends where its last table does, not at the file's end.
        if (nDirectoryOffset > 0)
            dwImageSize = FontExtent(pbyDirectory, dwDirectoryBytes, dwImageSize);
    } else {
        directoryCopy.reset(ReadDirectoryThroughDC(pFace->pSession, &dwDirectoryBytes, &dwImageSize));
        if (!directoryCopy)
            return Status::kRefused;
        pbyDirectory = directoryCopy.get();
    }

    TableDescriptor *pDescriptors = nullptr;
    uint32_t nDescriptors = 0;
    const int nSelected =
        ReadTableDirectory(pbyDirectory, dwDirectoryBytes, dwImageSize, &pDescriptors, &nDescriptors);
    const GlobalBlock<TableDescriptor> descriptors(pDescriptors);
    const uint32_t dwDirectorySize = kGTDirectoryBase + SfntRecord::kSize * static_cast<uint32_t>(nSelected);
    if (nSelected < 0 || dwDirectorySize > kMaxHeaderBlock)
        return Status::kRefused;

    const GlobalBlock<uint8_t> gtDirectory(static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, dwDirectorySize)));
    if (!gtDirectory)
        return Status::kRefused;
    uint8_t *abyGTDirectory = gtDirectory.get();
    std::memset(abyGTDirectory, 0, dwDirectorySize);
    // sfntVersion, and searchRange, entrySelector and rangeShift, as the font has them.
    std::memcpy(abyGTDirectory + SfntOffsetTable::kSfntVersion, pbyDirectory + SfntOffsetTable::kSfntVersion, 4);
    PutBE16(abyGTDirectory + SfntOffsetTable::kNumTables, static_cast<uint32_t>(nSelected) + 1);
    std::memcpy(abyGTDirectory + SfntOffsetTable::kSearchRange, pbyDirectory + SfntOffsetTable::kSearchRange,
                SfntOffsetTable::kSize - SfntOffsetTable::kSearchRange);
    std::memcpy(abyGTDirectory + SfntOffsetTable::kSize + SfntRecord::kTag, "gdir", 4);
    uint32_t dwSegmentSize = dwDirectorySize;
    uint8_t *pbyRecord = abyGTDirectory + kGTDirectoryBase;
    for (uint32_t k = 0; k < nDescriptors; ++k) {
        const TableDescriptor &descriptor = pDescriptors[k];
        if (!descriptor.bSelected)
            continue;
        std::memcpy(pbyRecord + SfntRecord::kTag, descriptor.szTag, 4);
        PutBE32(pbyRecord + SfntRecord::kCheckSum, descriptor.dwCheckSum);
        PutBE32(pbyRecord + SfntRecord::kOffset, descriptor.dwNewOffset);
        PutBE32(pbyRecord + SfntRecord::kLength, CarriedLength(pDescriptors, nDescriptors, k));
        pbyRecord += SfntRecord::kSize;
        dwSegmentSize += descriptor.dwCopyLength;
    }

    // Through the device context every selected table is read before the
    // header starts, so a table that cannot be read fails the header while
    // nothing of it is in the stream.
    HeaderTables sources;
    if (!bFromFile && !ReadHeaderTables(pFace->pSession, pDescriptors, nDescriptors, sources))
        return Status::kRefused;

    SendFontHeaderStart(pStream, pEntry, dwSegmentSize, abyGTDirectory, dwDirectorySize, coding);

    for (uint32_t k = 0; k < nDescriptors; ++k) {
        const TableDescriptor &descriptor = pDescriptors[k];
        if (!descriptor.bSelected)
            continue;
        if (bFromFile) {
            SendTableBlocks(pStream, pbyImage + descriptor.dwOffset, descriptor.dwCopyLength,
                            descriptor.dwCopyLength);
        } else {
            // Bytes of the copy length beyond the table's own size (its
            // padding) go out as zeros.
            SendTableBlocks(pStream, sources.ppbyTable.get()[k], sources.pdwTableSize.get()[k],
                            descriptor.dwCopyLength);
        }
    }

    SendFontHeaderEnd(pStream);
    return Status::kOk;
}
