// SPDX-License-Identifier: MIT
// The physical floor of a request: the file calls it makes, recorded from a
// real request and replayed with the same sizes on the same kind of file.
//
// The bench is linked with --wrap=fwrite and --wrap=fflush, so every fwrite
// and fflush in the program (the library's write callback, its cover page
// fragments, and the replay) goes through a recorder that passes the call
// on unchanged and, while recording, notes its size or the flush.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FileCall {
    bool bFlush;   // fflush, else fwrite
    size_t nBytes; // fwrite size
};

struct RecordedRequest {
    std::vector<FileCall> calls;
    std::vector<uint8_t> bytes; // everything the fwrite calls wrote, in order
};

void StartRecordingFileCalls();
std::vector<FileCall> StopRecordingFileCalls();

// Appends to szPath as a request does: fopen "ab", the recorded fwrite and
// fflush calls with the recorded bytes, fclose. False when a call fails.
bool ReplayFileCalls(const std::string &path, const RecordedRequest &request);
