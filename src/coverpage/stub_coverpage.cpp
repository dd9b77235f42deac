// Placeholder until the cover page lands.
#include "coverpage/coverpage.h"
int WriteToCoverPageW(FontSession *, FILE *, FNDL_TEXTINFOW *, PageInfo *, int *) { return 0; }
void SelectPageFont(FontEntry *, const FNDL_TEXTINFOW *) {}
void WriteClipRectangle(FILE *, int, int, int, int) {}
void WriteSetCursor(FILE *, int, const int *) {}
void WriteTextLine(FILE *, const WCHAR *, int, const int *) {}
void WriteSetROP(FILE *, uint8_t) {}
void WriteSetPenSource(FILE *, uint8_t, uint8_t) {}
void WriteRectangle(FILE *, int, int, int, int) {}
