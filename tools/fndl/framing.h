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
std::vector<uint8_t> JobEnd(const Request &request);
// The job name as PJL takes it: no quotes, no control characters, at most
// 80 bytes, cut at a UTF-8 character boundary.
std::string PjlSafeName(std::string_view name);
