// SPDX-License-Identifier: MIT
// The PCL XL framing that the tool writes around the library's output: one
// encoder per data type, the stream header, session, pages, and the printer
// job language envelope.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/request.h"

std::vector<uint8_t> JobStart(const Request &request);
// A sheet: BeginPage with the paper and orientation (turned for two pages
// a sheet), gray and a black brush. page is the page number (1 for the
// first), for the side of a duplex sheet.
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
// The underline bar under a run, as the library's text call draws it: the
// rectangle painted with no pen (ROP 240), then the default ROP (252).
void PutUnderlineBar(std::vector<uint8_t> &out, const PageBox &box);
// Saves the graphics state and moves the page origin to (x, y) of the
// current one (SetPageOrigin is relative); PutRestoredOrigin puts it back.
void PutMovedOrigin(std::vector<uint8_t> &out, long x, long y);
void PutRestoredOrigin(std::vector<uint8_t> &out);
// After the last page: the data source and session closed, and the PJL end.
std::vector<uint8_t> JobEnd(const Request &request);

// With number-up or columns each column of a page is a frame in its own
// graphics state: the cell of the sheet it goes to (origin and scale) and
// the column's origin.
bool UsesFrames(const Request &request);
Orientation SheetOrientation(const Request &request);
struct PageCell {
    long x = 0; // sheet device units
    long y = 0;
    double scale = 1;
};
// Where logical page cell (0-based on its sheet) of number-up goes.
PageCell CellOf(const Request &request, long cell);
void PutFrameStart(std::vector<uint8_t> &out, const Request &request, long cell, long column);
void PutFrameEnd(std::vector<uint8_t> &out);
// The job name as PJL takes it: no quotes, no control characters, at most
// 80 bytes, cut at a UTF-8 character boundary.
std::string PjlSafeName(std::string_view name);
