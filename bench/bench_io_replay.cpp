// SPDX-License-Identifier: MIT
#include "bench_io_replay.h"

#include <cstdio>

extern "C" {
size_t __real_fwrite(const void *pData, size_t nSize, size_t nCount, FILE *pFile);
int __real_fflush(FILE *pFile);
size_t __wrap_fwrite(const void *pData, size_t nSize, size_t nCount, FILE *pFile);
int __wrap_fflush(FILE *pFile);
}

namespace {

bool g_bRecording = false;
std::vector<FileCall> g_calls;

} // namespace

extern "C" size_t __wrap_fwrite(const void *pData, size_t nSize, size_t nCount, FILE *pFile)
{
    if (g_bRecording)
        g_calls.push_back(FileCall{false, nSize * nCount});
    return __real_fwrite(pData, nSize, nCount, pFile);
}

extern "C" int __wrap_fflush(FILE *pFile)
{
    if (g_bRecording)
        g_calls.push_back(FileCall{true, 0});
    return __real_fflush(pFile);
}

void StartRecordingFileCalls()
{
    g_calls.clear();
    g_bRecording = true;
}

std::vector<FileCall> StopRecordingFileCalls()
{
    g_bRecording = false;
    std::vector<FileCall> calls;
    calls.swap(g_calls);
    return calls;
}

bool ReplayFileCalls(const std::string &path, const RecordedRequest &request)
{
    FILE *pFile = std::fopen(path.c_str(), "ab");
    if (pFile == nullptr)
        return false;
    bool bOk = true;
    size_t nPosition = 0;
    for (const FileCall &call : request.calls) {
        if (call.bFlush) {
            bOk = std::fflush(pFile) == 0 && bOk;
        } else {
            bOk = std::fwrite(request.bytes.data() + nPosition, 1, call.nBytes, pFile) == call.nBytes && bOk;
            nPosition += call.nBytes;
        }
    }
    return std::fclose(pFile) == 0 && bOk;
}
