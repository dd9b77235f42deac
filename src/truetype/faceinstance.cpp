// SPDX-License-Identifier: MIT
// A face's variable-font instance, made by the library's own engine: the
// named instance the device context selected, its glyphs with gvar
// applied, and the header tables that follow from them.
#include <algorithm>
#include <cstring>

#include "truetype/glyphstore.h"
#include "memory/globalblock.h"
#include "truetype/bereader.h"
#include "truetype/hmetrics.h"
#include "truetype/instance.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

struct FaceInstance {
    GlyphInstance glyphs;
    BEReader hvar; // empty: advances from the phantom points
    uint8_t *pbyHanded; // the glyph FaceInstanceGlyph gave out (global heap)
    uint32_t dwHandedCapacity;
};

void FaceInstanceFree::operator()(FaceInstance *pInstance) const
{
    if (pInstance == nullptr)
        return;
    CloseGlyphInstance(pInstance->glyphs);
    if (pInstance->pbyHanded != nullptr)
        GlobalFree(pInstance->pbyHanded);
    GlobalFree(pInstance);
}

namespace {

BEReader Table(FontFace &face, const char (&szTag)[5], TableRecord record = TableRecord::kLast)
{
    uint32_t dwSize = 0;
    const uint8_t *pTable = FaceTable(face, szTag, &dwSize, record);
    return BEReader(pTable, pTable ? dwSize : 0);
}

} // namespace

bool OpenFaceInstance(FontFace &face)
{
    return face.instance || OpenFaceInstanceAt(face, SelectedInstanceIndex(face));
}

bool OpenFaceInstanceAt(FontFace &face, int nInstance)
{
    if (face.instance)
        return true;
    if (nInstance < 0 || nInstance > UINT16_MAX || !FaceHasTable(face, "gvar"))
        return false;
    const BEReader fvar = Table(face, "fvar");
    const BEReader maxp = Table(face, "maxp", TableRecord::kFirst);
    const BEReader head = Table(face, "head");
    uint32_t dwMaxpVersion = 0;
    int16_t nLocFormat = 0;
    uint16_t nGlyphs = 0;
    if (!maxp.U32(MaxpTable::kVersion, dwMaxpVersion) || dwMaxpVersion != MaxpTable::kVersion10 ||
        maxp.Size() < MaxpTable::kVersion10Size || !maxp.U16(MaxpTable::kNumGlyphs, nGlyphs) ||
        head.Size() < HeadTable::kSize || !head.I16(HeadTable::kIndexToLocFormat, nLocFormat))
        return false;
    int32_t alUser[kMaxVariationAxes];
    uint16_t nAxes = 0;
    VariationCoordinates coordinates{};
    if (!NamedInstanceCoordinates(fvar, static_cast<uint16_t>(nInstance), alUser, &nAxes) ||
        !NormalizeCoordinates(fvar, FaceHasTable(face, "avar") ? Table(face, "avar") : BEReader(), alUser, nAxes,
                              coordinates))
        return false;
    const VariableGlyphTables tables{Table(face, "glyf"), Table(face, "loca"), Table(face, "gvar"), nLocFormat != 0,
                                     nGlyphs};
    auto *pInstance = static_cast<FaceInstance *>(GlobalAlloc(GPTR, sizeof(FaceInstance)));
    if (pInstance == nullptr) {
        FaceFail(face, Status::kNoMemory);
        return false;
    }
    std::unique_ptr<FaceInstance, FaceInstanceFree> instance(pInstance);
    const VaryResult result = OpenGlyphInstance(pInstance->glyphs, tables, coordinates);
    if (result == VaryResult::kNoMemory)
        FaceFail(face, Status::kNoMemory);
    if (result != VaryResult::kOk)
        return false;
    if (FaceHasTable(face, "HVAR"))
        pInstance->hvar = Table(face, "HVAR");
    face.instance = std::move(instance);
    face.bInstanceGlyphs = true;
    return true;
}

bool FaceInstanceCoordinates(FontFace &face, VariationCoordinates &coordinates)
{
    if (!face.instance && !OpenFaceInstance(face))
        return false;
    coordinates = face.instance->glyphs.coordinates;
    return true;
}

namespace {

// The instance's glyph g: kept for the process since a request before, else
// varied and kept (a glyph the store does not take is varied again next
// time). Null when it cannot be made or is empty (*pnLength 0).
const uint8_t *VariedGlyph(FontFace &face, FaceInstance &instance, uint16_t nGlyph, int32_t *pnLength)
{
    const uint8_t *pbyKept = nullptr;
    uint32_t dwKept = 0;
    if (FindKeptGlyph(face, nGlyph, &pbyKept, &dwKept)) {
        *pnLength = static_cast<int32_t>(dwKept);
        return pbyKept;
    }
    int32_t nLength = 0;
    const VaryResult result = VaryGlyph(instance.glyphs, nGlyph, &nLength);
    if (result == VaryResult::kNoMemory)
        FaceFail(face, Status::kNoMemory);
    if (result != VaryResult::kOk)
        return nullptr;
    *pnLength = nLength;
    if (nLength == 0) {
        KeepGlyph(face, nGlyph, nullptr, 0);
        return nullptr;
    }
    // Short of memory for the kept copy the glyph still goes out.
    auto *pbyCopy = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, static_cast<size_t>(nLength)));
    if (pbyCopy != nullptr) {
        std::memcpy(pbyCopy, instance.glyphs.pbyGlyph, static_cast<size_t>(nLength));
        if (!KeepGlyph(face, nGlyph, pbyCopy, static_cast<uint32_t>(nLength)))
            GlobalFree(pbyCopy);
    }
    return instance.glyphs.pbyGlyph;
}

} // namespace

const uint8_t *FaceInstanceGlyph(FontFace &face, uint32_t nGlyphIndex, int32_t *pnLength)
{
    if (!face.instance && !OpenFaceInstance(face))
        return nullptr;
    FaceInstance &instance = *face.instance;
    nGlyphIndex &= 0xFFFF; // as glyphs are located
    if (nGlyphIndex >= instance.glyphs.tables.nGlyphs)
        return nullptr;
    int32_t nLength = -1;
    const uint8_t *pbyGlyph = VariedGlyph(face, instance, static_cast<uint16_t>(nGlyphIndex), &nLength);
    if (nLength < 0)
        return nullptr;
    *pnLength = nLength;
    if (nLength == 0)
        return nullptr;
    // A copy of its own: making a component's glyph (the composite walk)
    // must not overwrite the composite being walked.
    if (instance.dwHandedCapacity < static_cast<uint32_t>(nLength)) {
        if (instance.pbyHanded != nullptr)
            GlobalFree(instance.pbyHanded);
        instance.dwHandedCapacity = 0;
        instance.pbyHanded = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, std::max<uint32_t>(nLength, 4096)));
        if (instance.pbyHanded == nullptr) {
            FaceFail(face, Status::kNoMemory);
            return nullptr;
        }
        instance.dwHandedCapacity = std::max<uint32_t>(nLength, 4096);
    }
    std::memcpy(instance.pbyHanded, pbyGlyph, static_cast<size_t>(nLength));
    return instance.pbyHanded;
}

bool MakeInstanceTables(FontFace &face, uint32_t nGlyphs, InstanceTables &tables)
{
    tables.pbyHmtx = nullptr;
    if (!face.instance && !OpenFaceInstance(face))
        return false;
    FaceInstance &instance = *face.instance;
    const BEReader head = Table(face, "head"), hhea = Table(face, "hhea"), hmtx = Table(face, "hmtx");
    const BEReader maxp = Table(face, "maxp", TableRecord::kFirst);
    uint16_t nLongMetrics = 0;
    if (head.Size() < HeadTable::kSize || hhea.Size() < HheaTable::kSize || maxp.Size() < MaxpTable::kVersion10Size ||
        !hhea.U16(HheaTable::kNumberOfHMetrics, nLongMetrics) || nLongMetrics == 0 ||
        nGlyphs > instance.glyphs.tables.nGlyphs)
        return false;
    std::memcpy(tables.abyHead, head.Data(), HeadTable::kSize);
    std::memcpy(tables.abyHhea, hhea.Data(), HheaTable::kSize);
    std::memcpy(tables.abyMaxp, maxp.Data(), MaxpTable::kVersion10Size);
    tables.dwHmtxSize = nGlyphs * HmtxTable::kLongMetricSize;
    tables.pbyHmtx = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, tables.dwHmtxSize ? tables.dwHmtxSize : 1));
    if (tables.pbyHmtx == nullptr) {
        FaceFail(face, Status::kNoMemory);
        return false;
    }
    // Every glyph's box at the instance: simple glyphs first, so that a
    // composite placed by offsets takes its components' boxes.
    struct Varied {
        GlyphBox box;
        int32_t nOriginDelta, nAdvanceDelta;
        VaryResult result;
    };
    const GlobalBlock<Varied> varied(static_cast<Varied *>(GlobalAlloc(GMEM_FIXED, sizeof(Varied) * (nGlyphs + 1u))));
    const GlobalBlock<GlyphBox> known(static_cast<GlyphBox *>(GlobalAlloc(GMEM_FIXED, sizeof(GlyphBox) * (nGlyphs + 1u))));
    if (!varied || !known) {
        GlobalFree(tables.pbyHmtx);
        tables.pbyHmtx = nullptr;
        FaceFail(face, Status::kNoMemory);
        return false;
    }
    for (int nPass = 0; nPass < 2; ++nPass) {
        for (uint32_t g = 0; g < nGlyphs; ++g) {
            BEReader source;
            int16_t nContours = 0;
            const bool bComposite = InstanceSourceGlyph(instance.glyphs.tables, static_cast<uint16_t>(g), source) &&
                                    source.I16(GlyphHeader::kNumberOfContours, nContours) && nContours < 0;
            if (bComposite != (nPass == 1)) {
                if (nPass == 0)
                    known.get()[g] = GlyphBox{kUnknownBox, 0, 0, 0, true};
                continue;
            }
            Varied &one = varied.get()[g];
            one = Varied{GlyphBox{0, 0, 0, 0, true}, 0, 0, VaryResult::kOk};
            one.result = bComposite ? VaryCompositeBox(instance.glyphs, static_cast<uint16_t>(g), known.get(), one.box,
                                                       &one.nOriginDelta, &one.nAdvanceDelta)
                                    : VaryGlyphBox(instance.glyphs, static_cast<uint16_t>(g), one.box,
                                                   &one.nOriginDelta, &one.nAdvanceDelta);
            if (one.result == VaryResult::kNoMemory) {
                GlobalFree(tables.pbyHmtx);
                tables.pbyHmtx = nullptr;
                FaceFail(face, Status::kNoMemory);
                return false;
            }
            known.get()[g] = one.result == VaryResult::kOk ? one.box : GlyphBox{kUnknownBox, 0, 0, 0, true};
        }
    }
    HorizontalExtremes extremes;
    const bool bHvar = instance.hvar.Size() > 0;
    for (uint32_t g = 0; g < nGlyphs; ++g) {
        const uint16_t nGlyph = static_cast<uint16_t>(g);
        // The font's metrics, and where its outline puts the origin.
        uint16_t nAdvance = 0;
        int16_t nLsb = 0, nDefaultXMin = 0;
        hmtx.U16(HmtxTable::kLongMetricSize * size_t{std::min<uint32_t>(g, nLongMetrics - 1u)}, nAdvance);
        if (g < nLongMetrics)
            hmtx.I16(HmtxTable::kLongMetricSize * size_t{g} + HmtxTable::kLeftSideBearing, nLsb);
        else
            hmtx.I16(HmtxTable::kLongMetricSize * size_t{nLongMetrics} +
                         HmtxTable::kShortMetricSize * size_t{g - nLongMetrics},
                     nLsb);
        BEReader source;
        if (InstanceSourceGlyph(instance.glyphs.tables, nGlyph, source) && source.Size() >= GlyphHeader::kSize)
            source.I16(GlyphHeader::kXMin, nDefaultXMin);
        const VaryResult result = varied.get()[g].result;
        GlyphBox box = varied.get()[g].box;
        int32_t nOriginDelta = varied.get()[g].nOriginDelta, nAdvanceDelta = varied.get()[g].nAdvanceDelta;
        // A glyph whose variations are damaged keeps the font's metrics
        // (it goes out as not located).
        int32_t nHvarDelta = 0;
        if (result != VaryResult::kOk)
            box = GlyphBox{nDefaultXMin, 0, nDefaultXMin, 0, true}, nOriginDelta = nAdvanceDelta = 0;
        else if (bHvar && HvarAdvanceDelta(instance.hvar, instance.glyphs.coordinates, nGlyph, &nHvarDelta))
            nOriginDelta = 0, nAdvanceDelta = nHvarDelta;
        const int nOrigin = (source.Size() >= GlyphHeader::kSize ? nDefaultXMin : 0) - nLsb + nOriginDelta;
        const int nNewAdvance = std::clamp<int>(nAdvance + nAdvanceDelta, 0, UINT16_MAX);
        const int nNewLsb = std::clamp<int>((box.bEmpty ? 0 : box.nXMin) - nOrigin, INT16_MIN, INT16_MAX);
        if (!box.bEmpty)
            AddInk(extremes, nNewAdvance, nNewLsb, box.nXMin, box.nYMin, box.nXMax, box.nYMax);
        AddHorizontalMetric(extremes, tables.pbyHmtx, g, nNewAdvance, nNewLsb);
    }
    PutHorizontalExtremes(extremes, tables.abyHead, tables.abyHhea, nGlyphs);
    return true;
}
