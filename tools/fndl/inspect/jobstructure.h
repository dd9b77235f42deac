// SPDX-License-Identifier: MIT
// PCL XL jobs as dump, extract and preview read them: the names they give,
// and the structure rules that all of them apply.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "xldecode/xldecode.h"

// An operator's published name, or its code in hexadecimal.
std::string OperatorName(uint8_t code);
// A PCL XL character code as U+XXXX.
std::string CharacterCodeName(unsigned code);
// A decoded number as a whole number; fallback for NaN and for values
// beyond +-1e9, which no offset, size or code of a job reaches.
long WholeNumber(double number, long fallback);
// The FontName attribute of an operation, or "".
std::string FontNameOf(const XLOperation &op);

struct JobProblem {
    size_t offset;
    std::string message;
};

// Sessions, pages, font headers and character blocks opened and closed in
// order, nothing but the font header's or character block's own operators
// inside them, and, once a session was seen, nothing outside one. A soft font
// is downloaded again only after a RemoveFont, and characters go to a font
// whose header is complete. Fed one operation at a time, one stream (job)
// after another; problems in stream order.
struct JobChecker {
    void Take(const XLOperation &op, std::vector<JobProblem> &problems);
    // The stream ends at streamEnd. With cut (the decoder stopped), what is
    // still open is not reported. The next stream starts afresh: a printer
    // forgets a job's soft fonts with it.
    void EndStream(size_t streamEnd, bool cut, std::vector<JobProblem> &problems);

private:
    static constexpr size_t kNotOpen = SIZE_MAX;
    size_t session = kNotOpen;
    size_t page = kNotOpen;
    size_t fontHeader = kNotOpen;
    size_t charBlock = kNotOpen;
    bool framed = false; // a session was seen: operators must lie inside one
    bool outsideReported = false;
    // Per font name: the offset of the header in effect, and whether it is complete.
    std::map<std::string, std::pair<size_t, bool>> fonts;
    std::string headerFont;
};

// The problems a tool keeps to report: the first ones, and a count of the
// rest, so that a job of nothing but faults does not take memory without end.
struct ProblemList {
    static constexpr size_t kKept = 1000;
    std::vector<JobProblem> kept;
    size_t more = 0;
    void Add(std::vector<JobProblem> &found);
};
