// SPDX-License-Identifier: MIT
// Checking a job's structure, one operation at a time.
#include "inspect/jobstructure.h"

#include "core/fndl.h"
#include "xlstream/xlcodes.h"

namespace {

std::string At(size_t offset)
{
    return " begun at byte " + std::to_string(offset);
}

} // namespace

std::string OperatorName(uint8_t code)
{
    if (const char *name = XLOperatorName(code))
        return name;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", code);
    return hex;
}

std::string CharacterCodeName(unsigned code)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", code);
    return text;
}

std::string FontNameOf(const XLOperation &op)
{
    const XLAttribute *name = op.Find(xl::kAttrFontName);
    return name ? std::string(name->value.raw.begin(), name->value.raw.end()) : std::string();
}

long WholeNumber(double number, long fallback)
{
    constexpr double kLimit = 1e9;
    return number >= -kLimit && number <= kLimit ? static_cast<long>(number) : fallback;
}

void ProblemList::Add(std::vector<JobProblem> &found)
{
    for (JobProblem &problem : found) {
        if (kept.size() < kKept)
            kept.push_back(std::move(problem));
        else
            ++more;
    }
    found.clear();
}

void JobChecker::Take(const XLOperation &op, std::vector<JobProblem> &problems)
{
    auto problem = [&problems](size_t offset, std::string message) {
        problems.push_back({offset, std::move(message)});
    };
    if (framed && session == kNotOpen && op.op != xl::kOpBeginSession && !outsideReported) {
        problem(op.offset, OperatorName(op.op) + " outside a session");
        outsideReported = true;
    }
    if (fontHeader != kNotOpen && op.op != xl::kOpReadFontHeader && op.op != xl::kOpEndFontHeader)
        problem(op.offset, OperatorName(op.op) + " inside the font header" + At(fontHeader));
    if (charBlock != kNotOpen && op.op != xl::kOpReadChar && op.op != xl::kOpEndChar)
        problem(op.offset, OperatorName(op.op) + " inside the character block" + At(charBlock));
    switch (op.op) {
    case xl::kOpBeginSession:
        if (session != kNotOpen)
            problem(op.offset, "BeginSession inside the session" + At(session));
        session = op.offset;
        framed = true;
        break;
    case xl::kOpEndSession:
        if (session == kNotOpen)
            problem(op.offset, "EndSession without BeginSession");
        if (page != kNotOpen)
            problem(op.offset, "EndSession inside the page" + At(page));
        session = kNotOpen;
        page = kNotOpen;
        break;
    case xl::kOpBeginPage:
        if (page != kNotOpen)
            problem(op.offset, "BeginPage inside the page" + At(page));
        page = op.offset;
        break;
    case xl::kOpEndPage:
        if (page == kNotOpen)
            problem(op.offset, "EndPage without BeginPage");
        page = kNotOpen;
        break;
    case xl::kOpBeginFontHeader: {
        headerFont = FontNameOf(op);
        if (const auto earlier = fonts.find(headerFont); earlier != fonts.end())
            problem(op.offset, "font " + Quoted(headerFont) +
                                   " is downloaded again without a RemoveFont after its "
                                   "font header at byte " +
                                   std::to_string(earlier->second.first));
        else
            fonts[headerFont] = {op.offset, false};
        fontHeader = op.offset;
        break;
    }
    case xl::kOpReadFontHeader:
        if (fontHeader == kNotOpen)
            problem(op.offset, "ReadFontHeader outside a font header");
        break;
    case xl::kOpEndFontHeader:
        if (fontHeader == kNotOpen) {
            problem(op.offset, "EndFontHeader without BeginFontHeader");
            break;
        }
        if (const auto font = fonts.find(headerFont);
            font != fonts.end() && font->second.first == fontHeader)
            font->second.second = true;
        fontHeader = kNotOpen;
        break;
    case xl::kOpBeginChar: {
        const std::string name = FontNameOf(op);
        if (const auto font = fonts.find(name); font == fonts.end() || !font->second.second)
            problem(op.offset, "characters for font " + Quoted(name) +
                                   ", which has no font header in effect");
        charBlock = op.offset;
        break;
    }
    case xl::kOpReadChar:
        if (charBlock == kNotOpen)
            problem(op.offset, "ReadChar outside a character block");
        break;
    case xl::kOpEndChar:
        if (charBlock == kNotOpen)
            problem(op.offset, "EndChar without BeginChar");
        charBlock = kNotOpen;
        break;
    case xl::kOpRemoveFont:
        // Removing a font this job did not download changes nothing here.
        fonts.erase(FontNameOf(op));
        break;
    default: break;
    }
}

void JobChecker::EndStream(size_t streamEnd, bool cut, std::vector<JobProblem> &problems)
{
    auto problem = [&problems](size_t offset, std::string message) {
        problems.push_back({offset, std::move(message)});
    };
    if (!cut) {
        if (fontHeader != kNotOpen)
            problem(streamEnd, "the stream ends inside the font header" + At(fontHeader));
        if (charBlock != kNotOpen)
            problem(streamEnd, "the stream ends inside the character block" + At(charBlock));
        if (page != kNotOpen)
            problem(streamEnd, "the stream ends inside the page" + At(page));
        if (session != kNotOpen)
            problem(streamEnd, "the stream ends inside the session" + At(session));
    }
    *this = JobChecker{};
}
