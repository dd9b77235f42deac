// SPDX-License-Identifier: MIT
// A whole PCL XL job as dump, extract and preview read it: the stream
// inside an optional printer-job-language envelope, and the structure rules
// that all of them apply to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xldecode/xldecode.h"

// An operator's published name, or its code in hexadecimal.
std::string OperatorName(uint8_t code);
// A decoded number as a whole number; fallback for NaN and for values
// beyond +-1e9, which no offset, size or code of a job reaches.
long WholeNumber(double number, long fallback);
// The FontName attribute of an operation, or "".
std::string FontNameOf(const XLOperation &op);

// The decoded operations of the job's PCL XL stream, offsets counted from
// the start of the file. False with the damage and its offset; ops then
// holds the operations decoded before it.
bool ReadJob(const std::vector<uint8_t> &bytes, std::vector<XLOperation> &ops,
             XLStreamBounds &bounds, XLDecodeError &error);

struct JobProblem {
    size_t offset;
    std::string message;
};

// Sessions, pages, font headers and character blocks opened and closed in
// order, nothing but the font header's or character block's own operators
// inside them, and, once a session was seen, nothing outside one. A soft font
// is downloaded again only after a RemoveFont, and characters go to a font
// whose header is complete. With cut (the decoder stopped), what is still
// open at the end is not reported. Problems in stream order.
std::vector<JobProblem> CheckJobStructure(const std::vector<XLOperation> &ops, size_t streamEnd,
                                          bool cut);
