// SPDX-License-Identifier: MIT
// PCL XL framing around the library's output, and the PJL envelope.
#include "layout/framing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "text/text.h"
#include "xlstream/xlcodes.h"
#include "xlstream/xlencode.h"

namespace {

constexpr const char *kStreamHeader = ") HP-PCL XL;2;0;Comment fndl\r\n";
constexpr const char *kUniversalExit = "\x1B%-12345X";
constexpr size_t kPjlNameMax = 80;

// The attributes and operators go through the library's encoder.
using xl::PutBoxAttribute;
using xl::PutOperator;
using xl::PutReal32XYAttribute;
using xl::PutUByteArrayAttribute;
using xl::PutUByteAttribute;
using xl::PutXYAttribute;

uint16_t Coordinate(long value)
{
    return static_cast<uint16_t>(std::clamp(value, 0L, long{UINT16_MAX}));
}

void PutText(std::vector<uint8_t> &out, std::string_view text)
{
    // Appended by resizing, not insert(): GCC 12's -Warray-bounds takes
    // insert's reallocation after two bytes for an overflow (a false report).
    const size_t size = out.size();
    out.resize(size + text.size());
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(size));
}

} // namespace

std::string PjlSafeName(std::string_view name)
{
    std::string safe;
    for (const char c : name) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F || c == '"')
            continue;
        safe += c;
    }
    safe.resize(Utf8FitLength(safe, kPjlNameMax)); // not inside a UTF-8 character
    return safe;
}

std::vector<uint8_t> JobStart(const Request &request)
{
    std::vector<uint8_t> out;
    if (request.settings.pjl) {
        const std::string name = PjlSafeName(request.settings.jobName);
        PutText(out, kUniversalExit);
        PutText(out, "@PJL JOB NAME=\"" + name + "\"\r\n");
        PutText(out, "@PJL SET RESOLUTION=" + std::to_string(request.call.resolution) + "\r\n");
        if (request.settings.copies > 1)
            PutText(out, "@PJL SET COPIES=" + std::to_string(request.settings.copies) + "\r\n");
        // Printers that take the sides from PJL rather than from BeginPage.
        if (request.settings.handling.sides == Sides::OneSided)
            PutText(out, "@PJL SET DUPLEX=OFF\r\n");
        else if (request.settings.handling.sides != Sides::Unset)
            PutText(out, std::string("@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=") +
                             (request.settings.handling.sides == Sides::LongEdge ? "LONGEDGE" : "SHORTEDGE") +
                             "\r\n");
        PutText(out, "@PJL ENTER LANGUAGE=PCLXL\r\n");
    }
    PutText(out, kStreamHeader);
    const auto units = static_cast<uint16_t>(request.call.resolution);
    PutXYAttribute(out, xl::kUInt16XY, units, units, xl::kAttrUnitsPerMeasure);
    PutUByteAttribute(out, 0, xl::kAttrMeasure); // inch
    PutUByteAttribute(out, 0, xl::kAttrErrorReport);
    PutOperator(out, xl::kOpBeginSession);
    // Without an open data source the printer rejects the font header's
    // embedded data.
    PutUByteAttribute(out, 0, xl::kAttrSourceType);
    PutUByteAttribute(out, 1, xl::kAttrDataOrg); // binary, low byte first
    PutOperator(out, xl::kOpOpenDataSource);
    return out;
}

bool UsesFrames(const Request &request)
{
    return request.page.numberUp > 1 || request.page.columns > 1;
}

Orientation SheetOrientation(const Request &request)
{
    // Two pages side by side go across the sheet turned a quarter.
    if (request.page.numberUp != 2)
        return request.page.orientation;
    switch (request.page.orientation) {
    case Orientation::Portrait: return Orientation::Landscape;
    case Orientation::Landscape: return Orientation::Portrait;
    case Orientation::ReversePortrait: return Orientation::ReverseLandscape;
    case Orientation::ReverseLandscape: return Orientation::ReversePortrait;
    }
    return request.page.orientation;
}

void PutPageStart(std::vector<uint8_t> &out, const Request &request, long page)
{
    PutUByteAttribute(out, static_cast<uint8_t>(SheetOrientation(request)), xl::kAttrOrientation);
    PutUByteAttribute(out, request.page.paper ? request.page.paper->code : PaperSizes()[0].code,
                      xl::kAttrMediaSize);
    const PaperHandling &paper = request.settings.handling;
    if (paper.mediaSource >= 0)
        PutUByteAttribute(out, static_cast<uint8_t>(paper.mediaSource), xl::kAttrMediaSource);
    if (!paper.mediaType.empty())
        PutUByteArrayAttribute(out, paper.mediaType, xl::kAttrMediaType);
    // SimplexPageMode eSimplexFrontSide; DuplexPageMode binds along the
    // long edge of a portrait page with eDuplexVerticalBinding (as
    // Ghostscript's PCL XL devices send it), and odd pages are fronts.
    if (paper.sides == Sides::OneSided) {
        PutUByteAttribute(out, 0, xl::kAttrSimplexPageMode);
    } else if (paper.sides != Sides::Unset) {
        PutUByteAttribute(out, paper.sides == Sides::LongEdge ? 1 : 0, xl::kAttrDuplexPageMode);
        PutUByteAttribute(out, page % 2 == 1 ? 0 : 1, xl::kAttrDuplexPageSide);
    }
    PutOperator(out, xl::kOpBeginPage);
    PutUByteAttribute(out, 1, xl::kAttrColorSpace); // gray
    PutOperator(out, xl::kOpSetColorSpace);
    PutUByteAttribute(out, 0, xl::kAttrGrayLevel); // black
    PutOperator(out, xl::kOpSetBrushSource);
}

void PutRectangle(std::vector<uint8_t> &out, const PageBox &box, long penWidth, uint8_t gray)
{
    PutOperator(out, xl::kOpPushGS);
    if (penWidth > 0) {
        PutUByteAttribute(out, 0, xl::kAttrNullBrush);
        PutOperator(out, xl::kOpSetBrushSource);
        PutUByteAttribute(out, gray, xl::kAttrGrayLevel);
        PutOperator(out, xl::kOpSetPenSource);
        const auto width = static_cast<uint16_t>(std::clamp(penWidth, 1L, 255L * 255L));
        out.insert(out.end(), {xl::kUInt16, static_cast<uint8_t>(width),
                               static_cast<uint8_t>(width >> 8), xl::kAttrUByte, xl::kAttrPenWidth});
        PutOperator(out, xl::kOpSetPenWidth);
    } else {
        PutUByteAttribute(out, gray, xl::kAttrGrayLevel);
        PutOperator(out, xl::kOpSetBrushSource);
        PutUByteAttribute(out, 0, xl::kAttrNullPen);
        PutOperator(out, xl::kOpSetPenSource);
    }
    PutBoxAttribute(out, Coordinate(box.left), Coordinate(box.top), Coordinate(box.right),
                    Coordinate(box.bottom), xl::kAttrBoundingBox);
    PutOperator(out, xl::kOpRectangle);
    PutOperator(out, xl::kOpPopGS);
}

void PutUnderlineBar(std::vector<uint8_t> &out, const PageBox &box)
{
    PutUByteAttribute(out, 0xF0, xl::kAttrROP3);
    PutOperator(out, xl::kOpSetROP);
    PutUByteAttribute(out, 0, xl::kAttrNullPen);
    PutOperator(out, xl::kOpSetPenSource);
    PutOperator(out, xl::kOpNewPath);
    out.push_back(xl::kSInt16Box);
    for (const long value : {box.left, box.top, box.right, box.bottom}) {
        const auto word = static_cast<uint16_t>(static_cast<int16_t>(value));
        out.insert(out.end(), {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)});
    }
    out.insert(out.end(), {xl::kAttrUByte, xl::kAttrBoundingBox});
    PutOperator(out, xl::kOpRectanglePath);
    PutOperator(out, xl::kOpPaintPath);
    PutUByteAttribute(out, 0xFC, xl::kAttrROP3);
    PutOperator(out, xl::kOpSetROP);
}

void PutMovedOrigin(std::vector<uint8_t> &out, long x, long y)
{
    PutOperator(out, xl::kOpPushGS);
    PutXYAttribute(out, xl::kSInt16XY, static_cast<uint16_t>(static_cast<int16_t>(x)),
                   static_cast<uint16_t>(static_cast<int16_t>(y)), xl::kAttrPageOrigin);
    PutOperator(out, xl::kOpSetPageOrigin);
}

void PutRestoredOrigin(std::vector<uint8_t> &out)
{
    PutOperator(out, xl::kOpPopGS);
}

PageCell CellOf(const Request &request, long cell)
{
    PageCell place;
    if (request.page.numberUp <= 1)
        return place;
    const long width = PageWidth(request);
    const long height = PageHeight(request);
    // The sheet in its own orientation: turned a quarter for two pages.
    const long sheetWidth = request.page.numberUp == 2 ? height : width;
    const long sheetHeight = request.page.numberUp == 2 ? width : height;
    const bool wide = sheetWidth >= sheetHeight;
    const long columns = request.page.numberUp == 4 ? 2 : wide ? 2 : 1;
    const long rows = request.page.numberUp / columns;
    const std::string &layout = request.page.numberUpLayout;
    const bool acrossFirst = layout[0] == 'l' || layout[0] == 'r';
    long column = acrossFirst ? cell % columns : cell / rows;
    long row = acrossFirst ? cell / columns : cell % rows;
    if (layout.find("rl") != std::string::npos)
        column = columns - 1 - column;
    if (layout.find("bt") != std::string::npos)
        row = rows - 1 - row;
    const double cellWidth = static_cast<double>(sheetWidth) / static_cast<double>(columns);
    const double cellHeight = static_cast<double>(sheetHeight) / static_cast<double>(rows);
    place.scale = std::min(cellWidth / static_cast<double>(width),
                           cellHeight / static_cast<double>(height));
    place.x = std::lround(cellWidth * static_cast<double>(column) +
                          (cellWidth - place.scale * static_cast<double>(width)) / 2);
    place.y = std::lround(cellHeight * static_cast<double>(row) +
                          (cellHeight - place.scale * static_cast<double>(height)) / 2);
    return place;
}

void PutFrameStart(std::vector<uint8_t> &out, const Request &request, long cell, long column)
{
    PutOperator(out, xl::kOpPushGS);
    if (request.page.numberUp > 1) {
        const PageCell place = CellOf(request, cell);
        PutXYAttribute(out, xl::kSInt16XY, static_cast<uint16_t>(place.x),
                       static_cast<uint16_t>(place.y), xl::kAttrPageOrigin);
        PutOperator(out, xl::kOpSetPageOrigin);
        const auto scale = static_cast<float>(place.scale);
        PutReal32XYAttribute(out, scale, scale, xl::kAttrPageScale);
        PutOperator(out, xl::kOpSetPageScale);
    }
    // Columns after the first: the first moved across.
    if (const long x = column * (request.page.columnWidth + request.page.columnGap); x != 0) {
        PutXYAttribute(out, xl::kSInt16XY, static_cast<uint16_t>(x), 0, xl::kAttrPageOrigin);
        PutOperator(out, xl::kOpSetPageOrigin);
    }
}

void PutFrameEnd(std::vector<uint8_t> &out)
{
    PutOperator(out, xl::kOpPopGS);
}

void PutPageEnd(std::vector<uint8_t> &out)
{
    PutOperator(out, xl::kOpEndPage);
}

std::vector<uint8_t> JobEnd(const Request &request)
{
    std::vector<uint8_t> out;
    PutOperator(out, xl::kOpCloseDataSource);
    PutOperator(out, xl::kOpEndSession);
    if (request.settings.pjl) {
        PutText(out, kUniversalExit);
        PutText(out, "@PJL EOJ NAME=\"" + PjlSafeName(request.settings.jobName) + "\"\r\n");
        PutText(out, kUniversalExit);
    }
    return out;
}
