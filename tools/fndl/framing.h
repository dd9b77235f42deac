// SPDX-License-Identifier: MIT
// The PCL XL framing that the tool writes around the library's output: one
// encoder per data type, the stream header, session, pages, and the printer
// job language envelope.
#pragma once

#include <cstdint>
#include <vector>

#include "request.h"

std::vector<uint8_t> JobStart(const Request &request);
// A sheet: BeginPage with the paper and orientation (turned for two pages
// a sheet), gray and a black brush.
void PutPageStart(std::vector<uint8_t> &out, const Request &request);
void PutPageEnd(std::vector<uint8_t> &out);
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
