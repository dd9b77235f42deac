// Placeholder until the platform layer lands.
#include <windows.h>
#include "platform_hooks.h"
#include <cstdlib>
#include <cstring>
HDC CreateCompatibleDC(HDC) { return nullptr; }
HFONT CreateFontIndirectA(const LOGFONTA *) { return nullptr; }
HGDIOBJ SelectObject(HDC, HGDIOBJ) { return nullptr; }
HGDIOBJ GetCurrentObject(HDC, UINT) { return nullptr; }
BOOL DeleteObject(HGDIOBJ) { return FALSE; }
BOOL DeleteDC(HDC) { return FALSE; }
DWORD GetFontData(HDC, DWORD, DWORD, LPVOID, DWORD) { return GDI_ERROR; }
BOOL GetCharWidthA(HDC, UINT, UINT, int *) { return FALSE; }
DWORD GetGlyphOutlineA(HDC, UINT, UINT, GLYPHMETRICS *, DWORD, LPVOID, const MAT2 *) { return GDI_ERROR; }
UINT GetOutlineTextMetricsA(HDC, UINT, OUTLINETEXTMETRICA *) { return 0; }
HGLOBAL GlobalAlloc(UINT, SIZE_T n) { return malloc(n ? n : 1); }
HGLOBAL GlobalFree(HGLOBAL p) { free(p); return nullptr; }
HANDLE CreateFileA(LPCSTR, DWORD, DWORD, void *, DWORD, DWORD, HANDLE) { return INVALID_HANDLE_VALUE; }
DWORD GetFileSize(HANDLE, LPDWORD) { return INVALID_FILE_SIZE; }
HANDLE CreateFileMappingA(HANDLE, void *, DWORD, DWORD, DWORD, LPCSTR) { return nullptr; }
LPVOID MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, SIZE_T) { return nullptr; }
BOOL UnmapViewOfFile(LPCVOID) { return FALSE; }
BOOL CloseHandle(HANDLE) { return FALSE; }
int MultiByteToWideChar(UINT, DWORD, LPCSTR, int, LPWSTR, int) { return 0; }
int WideCharToMultiByte(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, LPBOOL) { return 0; }
int lstrcmpA(LPCSTR a, LPCSTR b) { return strcmp(a, b); }
void PlatformFailNthAllocation(long) {}
long PlatformAllocationCount() { return 0; }
long PlatformLiveAllocations() { return 0; }
void PlatformServeFontData(const uint8_t *, size_t) {}
long PlatformFontconfigQueries() { return 0; }
long PlatformLiveGdiObjects() { return 0; }
bool PlatformResolveFace(const char *, int, bool, char *, size_t, int *) { return false; }
