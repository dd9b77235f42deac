// Placeholder until the session lands.
#include "session/session.h"
FontEntry *FindDownloadedFontW(FontSession *, int) { return nullptr; }
int AddFontEntry(FontSession *) { return 0; }
void MarkFontsForReselect(FontSession *) {}
int32_t WriteToOutputFile(XLStream *, uint32_t, const uint8_t *, int32_t) { return 0; }
FontSession *CreateFontSession(const char *) { return nullptr; }
void ReleaseFontEntry(FontEntry *) {}
void DiscardFontSession(FontSession *) {}
