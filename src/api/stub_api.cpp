// Placeholder until the exported calls land.
#include "api/globals.h"
#include "qorvfndl.h"
FontSession *g_pSession;
XLStream *g_pStream;
int g_nCursorX, g_nCursorY, bTTE, bFontFileError;
WCHAR *WideLeft(const WCHAR *, int) { return nullptr; }
WCHAR *WideRight(const WCHAR *, int) { return nullptr; }
int WideLength(const WCHAR *) { return 0; }
const WCHAR *WideFindLast(const WCHAR *, WCHAR) { return nullptr; }
extern "C" {
FNDL_EXPORT int FNDLFontDownloadW(FNDL_TEXTINFOW *, FNDL_PAGEINFOW *) { return 3; }
FNDL_EXPORT int FNDLFontDownloadA(FNDL_TEXTINFOA *, FNDL_PAGEINFOA *) { return 3; }
FNDL_EXPORT void FNDLRemoveFontW(int *) {}
FNDL_EXPORT void FNDLRemoveFontA(int *) {}
FNDL_EXPORT void FNDLSetCursor(int *, int *) {}
FNDL_EXPORT int FNDLGetCursor(void) { return 0; }
}
