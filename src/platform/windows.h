// SPDX-License-Identifier: MIT
// The subset of the Windows API that the library calls, for Linux.
//
// On Windows the library includes the system's <windows.h>; on Linux this
// folder is on the include path in its place and provides the same names,
// types and sizes, implemented over fontconfig, FreeType and POSIX.
// Integer types have their Windows widths (LONG and DWORD are 32 bits).
#pragma once

#include <cstddef>
#include <cstdint>

#include <pthread.h>

#define WINAPI
#define TRUE 1
#define FALSE 0

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int16_t SHORT;
typedef char CHAR;
typedef char16_t WCHAR; // UTF-16 code unit, as on Windows
typedef size_t SIZE_T;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef BOOL *LPBOOL;
typedef DWORD *LPDWORD;

typedef void *HANDLE;
typedef void *HGLOBAL;
typedef void *HGDIOBJ;
struct HDC__;
typedef HDC__ *HDC;
struct HFONT__;
typedef HFONT__ *HFONT;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GDI_ERROR 0xFFFFFFFFu

// Memory
#define GMEM_FIXED 0x0000u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// Files and mappings
#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x00000001u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define PAGE_READONLY 0x02u
#define FILE_MAP_READ 0x0004u
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u

// Slim reader/writer lock, used exclusively; SRWLOCK_INIT sets one up
// statically.
typedef struct {
    pthread_mutex_t mutex;
} SRWLOCK, *PSRWLOCK;
#define SRWLOCK_INIT {PTHREAD_MUTEX_INITIALIZER}

// Code pages (the ANSI code page is UTF-8 here)
#define CP_ACP 0u
#define CP_UTF8 65001u

// GDI
#define OBJ_FONT 6u
#define GGO_METRICS 0u
#define GGO_NATIVE 2u
#define GGO_GLYPH_INDEX 0x0080u
#define DEFAULT_CHARSET 1
#define GGO_UNHINTED 0x0100u
#define TT_POLYGON_TYPE 24
#define TT_PRIM_LINE 1
#define TT_PRIM_QSPLINE 2
#define TT_PRIM_CSPLINE 3
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define LF_FACESIZE 32

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT;

typedef struct tagLOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA;

typedef struct _FIXED {
    WORD fract;
    SHORT value;
} FIXED;

typedef struct _MAT2 {
    FIXED eM11;
    FIXED eM12;
    FIXED eM21;
    FIXED eM22;
} MAT2;

typedef struct tagPOINTFX {
    FIXED x;
    FIXED y;
} POINTFX;

// GGO_NATIVE outlines: per contour a polygon header (cb counts the header
// and all its curves), then curve records of cpfx points each.
typedef struct tagTTPOLYGONHEADER {
    DWORD cb;
    DWORD dwType; // TT_POLYGON_TYPE
    POINTFX pfxStart;
} TTPOLYGONHEADER;

typedef struct tagTTPOLYCURVE {
    WORD wType; // TT_PRIM_LINE, TT_PRIM_QSPLINE or TT_PRIM_CSPLINE
    WORD cpfx;
    POINTFX apfx[1];
} TTPOLYCURVE;

typedef struct _GLYPHMETRICS {
    UINT gmBlackBoxX;
    UINT gmBlackBoxY;
    POINT gmptGlyphOrigin;
    SHORT gmCellIncX;
    SHORT gmCellIncY;
} GLYPHMETRICS;

typedef struct tagTEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICA;

typedef struct tagPANOSE {
    BYTE bFamilyType;
    BYTE bSerifStyle;
    BYTE bWeight;
    BYTE bProportion;
    BYTE bContrast;
    BYTE bStrokeVariation;
    BYTE bArmStyle;
    BYTE bLetterform;
    BYTE bMidline;
    BYTE bXHeight;
} PANOSE;

typedef struct _OUTLINETEXTMETRICA {
    UINT otmSize;
    TEXTMETRICA otmTextMetrics;
    BYTE otmFiller;
    PANOSE otmPanoseNumber;
    UINT otmfsSelection;
    UINT otmfsType;
    int otmsCharSlopeRise;
    int otmsCharSlopeRun;
    int otmItalicAngle;
    UINT otmEMSquare;
    int otmAscent;
    int otmDescent;
    UINT otmLineGap;
    UINT otmsCapEmHeight;
    UINT otmsXHeight;
    RECT otmrcFontBox;
    int otmMacAscent;
    int otmMacDescent;
    UINT otmMacLineGap;
    UINT otmusMinimumPPEM;
    POINT otmptSubscriptSize;
    POINT otmptSubscriptOffset;
    POINT otmptSuperscriptSize;
    POINT otmptSuperscriptOffset;
    UINT otmsStrikeoutSize;
    int otmsStrikeoutPosition;
    int otmsUnderscoreSize;
    int otmsUnderscorePosition;
    LPSTR otmpFamilyName;
    LPSTR otmpFaceName;
    LPSTR otmpStyleName;
    LPSTR otmpFullName;
} OUTLINETEXTMETRICA;

// GDI: logical fonts and memory device contexts
HDC CreateCompatibleDC(HDC hdc);
HFONT CreateFontIndirectA(const LOGFONTA *lplf);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
HGDIOBJ GetCurrentObject(HDC hdc, UINT type);
BOOL DeleteObject(HGDIOBJ ho);
// Fonts only: copies the logical font's LOGFONTA.
int GetObjectA(HGDIOBJ h, int c, LPVOID pv);
BOOL DeleteDC(HDC hdc);

// GDI: font data and metrics. GetGlyphOutlineA gives GGO_METRICS and
// GGO_NATIVE (optionally GGO_UNHINTED), with the identity matrix only;
// GGO_NATIVE gives TrueType outlines as TT_PRIM_QSPLINE and PostScript (CFF)
// outlines as TT_PRIM_CSPLINE records, as Windows does. The metrics functions
// fail for a font FreeType cannot load, GetFontData works on any bytes.
DWORD GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, LPVOID pvBuffer, DWORD cjBuffer);
BOOL GetCharWidthA(HDC hdc, UINT iFirst, UINT iLast, int *lpBuffer);
DWORD GetGlyphOutlineA(HDC hdc, UINT uChar, UINT fuFormat, GLYPHMETRICS *lpgm, DWORD cjBuffer,
                       LPVOID pvBuffer, const MAT2 *lpmat2);
UINT GetOutlineTextMetricsA(HDC hdc, UINT cjCopy, OUTLINETEXTMETRICA *potm);

// GDI: fonts private to the process, added from memory (the bytes are
// copied). A logical font whose face name is a family name of an added font
// resolves to it.
HANDLE AddFontMemResourceEx(LPVOID pFileView, DWORD cjSize, LPVOID pvReserved, DWORD *pNumFonts);
BOOL RemoveFontMemResourceEx(HANDLE h);

// Kernel: memory (GMEM_FIXED blocks, optionally GMEM_ZEROINIT)
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL GlobalFree(HGLOBAL hMem);

// Kernel: files and read-only mappings (GENERIC_READ, OPEN_EXISTING,
// PAGE_READONLY and FILE_MAP_READ only; anything else fails)
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void *lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
DWORD GetFileType(HANDLE hFile);
HANDLE CreateFileMappingA(HANDLE hFile, void *lpFileMappingAttributes, DWORD flProtect,
                          DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName);
LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                     DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap);
BOOL UnmapViewOfFile(LPCVOID lpBaseAddress);
BOOL CloseHandle(HANDLE hObject);

// Kernel: synchronization
void AcquireSRWLockExclusive(PSRWLOCK SRWLock);
void ReleaseSRWLockExclusive(PSRWLOCK SRWLock);

// Kernel: code pages and strings
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);
int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
