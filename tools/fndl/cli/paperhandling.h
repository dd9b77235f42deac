// SPDX-License-Identifier: MIT
// Where the paper comes from and how it is printed: the input tray, the
// media type and the sides, as a job's BeginPage carries them (PCL XL
// MediaSource, MediaType, SimplexPageMode or DuplexPageMode with
// DuplexPageSide) and as the PJL header announces them.
#pragma once

#include <span>
#include <string>

#include "core/fndl.h"

enum class Sides { Unset, OneSided, LongEdge, ShortEdge };

struct PaperHandling {
    int mediaSource = -1;  // PCL XL MediaSource value; -1: not sent
    std::string mediaType; // PCL XL MediaType name ("Plain"); empty: not sent
    Sides sides = Sides::Unset;
};

// The options of a job that set these, for the job command's option list.
std::span<const OptionDefinition> PaperHandlingOptions();
// Reads them into paper. False with the message naming the option.
bool ReadPaperHandling(const ParsedArgs &parsed, PaperHandling &paper, std::string &error);
// The MediaSource value of a tray name ("auto", "manual", "tray2") or a
// number 0-255; -1 for neither.
int MediaSourceCode(std::string_view name);

inline constexpr const char *kPaperHandlingHelp =
    "  --media-source SRC the input tray, sent as BeginPage's MediaSource: auto,\n"
    "                     manual, multipurpose, tray1 (upper), tray2 (lower),\n"
    "                     tray3, envelope, default, or a number 0-255\n"
    "  --media-type NAME  the media type the printer knows (\"Plain\",\n"
    "                     \"Transparency\", ...), sent as BeginPage's MediaType\n"
    "  --duplex MODE      one-sided, long-edge or short-edge: BeginPage's\n"
    "                     SimplexPageMode, or DuplexPageMode and DuplexPageSide,\n"
    "                     and with --pjl the PJL DUPLEX and BINDING settings\n";
