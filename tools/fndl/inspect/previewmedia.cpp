// SPDX-License-Identifier: MIT
// What a page's operators give the preview: the media (PCL XL's MediaSize
// codes and names, custom sizes, the four orientations) and colors.
#include "inspect/previewpage.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "xlstream/xlcodes.h"

namespace {

constexpr double kMillimetresPerInch = 25.4;
// A custom size beyond this (in inches, about 2.5 km) is taken as damage.
constexpr double kMaxCustomInches = 1e5;

struct MediaSize {
    unsigned code;
    const char *name;
    double width; // inches
    double height;
};
constexpr double Mm(double millimetres) { return millimetres / kMillimetresPerInch; }
// The PCL XL MediaSize enumeration, and the names a ubyte_array may give
// (a name is taken by its longest entry it starts with: "B5ENVELOPE" is
// the envelope, "A4PAPER" A4).
constexpr MediaSize kMediaSizes[] = {
    {0, "LETTER", 8.5, 11},        {1, "LEGAL", 8.5, 14},
    {2, "A4", Mm(210), Mm(297)},   {3, "EXECUTIVE", 7.25, 10.5},
    {3, "EXEC", 7.25, 10.5},       {4, "LEDGER", 11, 17},
    {4, "TABLOID", 11, 17},        {5, "A3", Mm(297), Mm(420)},
    {6, "COM10", 4.125, 9.5},      {7, "MONARCH", 3.875, 7.5},
    {8, "C5", Mm(162), Mm(229)},   {9, "DL", Mm(110), Mm(220)},
    {10, "JB4", Mm(257), Mm(364)}, {11, "JB5", Mm(182), Mm(257)},
    {12, "B5ENV", Mm(176), Mm(250)}, {13, "B5", Mm(176), Mm(250)},
    {14, "JPOSTCARD", Mm(100), Mm(148)}, {15, "JDOUBLEPOSTCARD", Mm(200), Mm(148)},
    {16, "A5", Mm(148), Mm(210)},  {17, "A6", Mm(105), Mm(148)},
    {18, "JB6", Mm(128), Mm(182)},
};

} // namespace

const std::vector<double> *Numbers(const XLOperation &op, uint16_t id, size_t count)
{
    const XLAttribute *attribute = op.Find(id);
    if (!attribute || (count != 0 && attribute->value.numbers.size() != count))
        return nullptr;
    return &attribute->value.numbers;
}

std::optional<double> Number(const XLOperation &op, uint16_t id)
{
    const std::vector<double> *numbers = Numbers(op, id, 1);
    return numbers ? std::optional<double>(numbers->front()) : std::nullopt;
}

MediaCheck ReadPageMedia(const XLOperation &op, PageMedia &media)
{
    MediaCheck check = MediaCheck::Unknown;
    if (const std::vector<double> *custom = Numbers(op, xl::kAttrCustomMediaSize, 2)) {
        const std::optional<double> units = Number(op, xl::kAttrCustomMediaSizeUnits);
        const double perInch = !units || *units == 0 ? 1 : *units == 1 ? kMillimetresPerInch
                                                                       : 10 * kMillimetresPerInch;
        const double width = (*custom)[0] / perInch;
        const double height = (*custom)[1] / perInch;
        if (width > 0 && height > 0) {
            // NaN fails the comparisons above and is drawn on Letter.
            if (!(width <= kMaxCustomInches && height <= kMaxCustomInches))
                return MediaCheck::TooLarge;
            media.width = width;
            media.height = height;
            check = MediaCheck::Known;
        }
    } else if (const XLAttribute *size = op.Find(xl::kAttrMediaSize)) {
        std::string name(size->value.raw.begin(), size->value.raw.end());
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return static_cast<char>(std::toupper(uint8_t(c))); });
        const bool byName = size->value.tag == xl::kUByteArray;
        size_t matched = 0;
        for (const MediaSize &known : kMediaSizes) {
            const bool match =
                byName ? name.starts_with(known.name) && std::string_view(known.name).size() > matched
                       : size->value.numbers.size() == 1 && size->value.numbers[0] == known.code;
            if (match) {
                media.width = known.width;
                media.height = known.height;
                check = MediaCheck::Known;
                matched = std::string_view(known.name).size();
                if (!byName)
                    break;
            }
        }
    }
    if (check != MediaCheck::Known) {
        media.width = 8.5;
        media.height = 11;
    }
    // Orientation: 0 portrait, 1 landscape, 2 reverse portrait, 3 reverse
    // landscape; the reverse ones are the same page turned half round.
    const std::optional<double> orientation = Number(op, xl::kAttrOrientation);
    media.halfTurn = orientation && (*orientation == 2 || *orientation == 3);
    if (orientation && (*orientation == 1 || *orientation == 3))
        std::swap(media.width, media.height);
    return check;
}

// A GrayLevel or RGBColor as a gray byte, 0 black; ubyte values run to 255,
// real ones to 1.
std::optional<uint8_t> ColorOf(const XLOperation &op)
{
    auto level = [](const XLAttribute &attribute, double value) {
        const double full = attribute.value.valueType == xl::kReal32 ? 1.0 : 255.0;
        return std::isfinite(value) ? std::clamp(value / full, 0.0, 1.0) : 0.0;
    };
    if (const XLAttribute *gray = op.Find(xl::kAttrGrayLevel);
        gray && gray->value.numbers.size() == 1)
        return static_cast<uint8_t>(std::lround(255 * level(*gray, gray->value.numbers[0])));
    if (const XLAttribute *rgb = op.Find(xl::kAttrRGBColor); rgb && rgb->value.numbers.size() == 3) {
        const std::vector<double> &c = rgb->value.numbers;
        const double luminance =
            0.299 * level(*rgb, c[0]) + 0.587 * level(*rgb, c[1]) + 0.114 * level(*rgb, c[2]);
        return static_cast<uint8_t>(std::lround(255 * luminance));
    }
    return std::nullopt;
}
