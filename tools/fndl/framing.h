// SPDX-License-Identifier: MIT
// The PCL XL framing that the tool writes around the library's output: one
// encoder per data type, the stream header, session, pages, and the printer
// job language envelope.
#pragma once

#include <cstdint>
#include <vector>

#include "request.h"

std::vector<uint8_t> JobStart(const Request &request);
// BeginPage of page number page (1 for the first), with its paper handling.
void PutPageStart(std::vector<uint8_t> &out, const Request &request, long page);
void PutPageEnd(std::vector<uint8_t> &out);

// A box on the page in device units.
struct PageBox {
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
};
// A rectangle in its own graphics state: outlined with a pen of penWidth
// dots, or with penWidth 0 filled; gray 0 is black, 255 white.
void PutRectangle(std::vector<uint8_t> &out, const PageBox &box, long penWidth, uint8_t gray);
// Saves the graphics state and moves the page origin to (x, y) of the
// current one (SetPageOrigin is relative); PutRestoredOrigin puts it back.
void PutMovedOrigin(std::vector<uint8_t> &out, long x, long y);
void PutRestoredOrigin(std::vector<uint8_t> &out);
std::vector<uint8_t> JobEnd(const Request &request);
// The job name as PJL takes it: no quotes, no control characters, at most
// 80 bytes, cut at a UTF-8 character boundary.
std::string PjlSafeName(std::string_view name);
