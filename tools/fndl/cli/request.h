// SPDX-License-Identifier: MIT
// What a library-calling command (job, download, remove) is asked to do:
// the options read into one record, with the page geometry worked out.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "layout/bidi.h"
#include "download/charsize.h"
#include "core/fndl.h"
#include "cli/paperhandling.h"
#include "qorvfndl.h"

// What one library call takes: szText holds 512 code units with the
// terminating NUL; chFont and szOutputPath 256.
inline constexpr size_t kLibraryTextUnits =
    sizeof(FNDL_TEXTINFOW::szText) / sizeof(FNDL_WCHAR) - 1;
inline constexpr size_t kLibraryPathUnits =
    sizeof(FNDL_PAGEINFOW::chFont) / sizeof(FNDL_WCHAR) - 1;

// A paper size the printer can be told: its PCL XL MediaSize code.
struct PaperSize {
    const char *name; // as --media takes it
    uint8_t code;
    long widthMils;   // portrait, thousandths of an inch
    long heightMils;
};
// The sizes the tool offers; the first is the default.
std::span<const PaperSize> PaperSizes();
// The paper of a name: --media's ("A4", "letter"), a PPD PageSize keyword
// or an IPP media name ("iso_a4_210x297mm"). Null when it is none of them.
const PaperSize *PaperNamed(std::string_view name);

// BeginPage's Orientation values.
enum class Orientation : uint8_t { Portrait = 0, Landscape = 1, ReversePortrait = 2, ReverseLandscape = 3 };

// Which of the pages are printed: page ranges (1-based, inclusive) and odd
// or even pages; everything by default.
struct PageSelection {
    std::vector<std::pair<long, long>> ranges;
    bool odd = true;
    bool even = true;
    bool Selects(long page) const;
};

// A job's text file, read again for every pass over the text (textinput.cpp).
struct TextFile;

// A request is read into parts, one for each stage that takes it: the
// face asked for (the fonts), what every library call carries, the paper
// and the pages on it (layout and framing), the text, and the job around
// it.

// The face asked for: resolved by fontconfig, downloaded under fontId.
struct FaceRequest {
    std::string font = "DejaVu Sans"; // face name, or font file path with fromFile
    bool fromFile = false;
    // --instance: the installed font file whose named instance is asked for
    // (font is then its family, fromFile false) and the instance's face
    // index.
    std::string instanceFile;
    int instanceIndex = 0;
    std::u16string fontUnits;
    long fontId = 1;
    bool fallback = true;
};

// What every library call carries: the text record's and page record's
// settings, and the page box.
struct CallStyle {
    long height = 120;    // tenths of a point
    long resolution = 600;
    long weight = 400;
    bool boldFace = false;
    bool italicFace = false;
    bool syntheticBold = false;
    bool oblique = false;
    bool underline = false;
    long lineSpacing = 0;
    long margin = 0; // x where lines start, in the library's coordinates
    // The character size in dots and the library's page limits at the
    // resolution, as the library works them out.
    long characterSize = 0;
    PageLimits limits{};
    // On the paper (a paper, margins, an orientation, columns or number-up
    // asked for) the library's page box is the paper less the margins.
    bool hasBox = false;
    FNDL_PAGEBOX box{};
    long paperWidth = 0; // the page record's: the paper across, device units
};

// The paper, the pages on it and where their text starts.
struct PageGeometry {
    const PaperSize *paper = nullptr; // set by ParseRequest
    Orientation orientation = Orientation::Portrait;
    bool landscape = false; // Landscape or ReverseLandscape: the long side across
    PageSelection pages;
    long numberUp = 1;      // logical pages per sheet: 1, 2 or 4
    std::string numberUpLayout = "lrtb";
    long columns = 1;
    long columnGap = 0;     // between columns, device units
    long columnWidth = 0;   // device units; 0 with one column
    long cursorX = 0;
    long cursorY = 0; // the first baseline of every page, library coordinates
};

// The text and the direction of its paragraphs.
struct TextSource {
    std::u16string text; // the whole text, unless a job reads it from textFile
    std::shared_ptr<TextFile> textFile; // a job's --text-file, read piece by piece
    std::string textPath; // --text-file, "-" for standard input
    TextDirection direction = TextDirection::Auto; // of every paragraph: --ltr, --rtl
};

// The job around the text: the command, where it goes, its PJL and what
// is said while it is made.
struct JobSettings {
    const char *command = "job";
    long offset = 0;
    bool clamp = false;     // out-of-range pitch and margins clamped, with a warning
    bool strict = false;
    bool quiet = false;
    bool pjl = false;
    bool pageLog = false;
    std::string jobName;
    long copies = 1;
    PaperHandling handling{};
    std::string header; // prettyprint title; empty for none
    std::string coverPath; // --cover: a cover page from this description instead of text
    std::string output; // "-" for standard output
};

struct Request {
    FaceRequest face;
    CallStyle call;
    PageGeometry page;
    TextSource source;
    JobSettings settings;
};

// Page size in device units, turned for landscape.
long PageWidth(const Request &request);
long PageHeight(const Request &request);

// Takes one piece of a job's text and the offset of its first unit in the
// text. Returns an exit code to stop, or -1.
using TextPieceFunction = std::function<int(std::u16string_view piece, size_t start)>;
// Hands a job's text to piece in pieces of whole lines, in order: the text
// is the pieces joined by newlines, and an empty text has none. A text file
// is read again for every call. Returns piece's exit code, an exit code
// after printing why the text could not be read, or -1.
int ForEachTextPiece(const TextSource &source, const TextPieceFunction &piece);
// Whether a job's text is empty, and whether it holds a tab.
bool TextIsEmpty(const TextSource &source);
bool TextHasTab(const TextSource &source);

// Parses one command's arguments into request. Returns an exit code (help
// printed, usage error, unreadable input), or -1 to go on.
int ParseRequest(std::span<char *const> args, Request &request);
