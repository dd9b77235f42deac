// SPDX-License-Identifier: MIT
// Finding PCL XL streams in a file of jobs: XLFindStream and XLJobReader take
// any bytes, and what they give back lies inside them, in order.
#include <cstdio>
#include <cstdlib>
#include <span>

#include "xldecode/xldecode.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    XLStreamBounds bounds;
    XLDecodeError error;
    if (XLFindStream(bytes, bounds, error))
        Require(bounds.begin <= bounds.end && bounds.end <= size, "stream bounds outside the job");
    else
        Require(error.offset <= size, "error offset beyond the job");

    XLJobReader reader(bytes);
    XLJobPiece piece;
    size_t last = 0;
    size_t pieces = 0;
    while (reader.Next(piece, error)) {
        const size_t offset = piece.kind == XLJobPieceKind::Operation ? piece.op.offset : piece.offset;
        Require(offset <= size && offset >= last, "pieces out of order or outside the file");
        Require(piece.kind != XLJobPieceKind::Envelope || offset + piece.size <= size,
                "envelope outside the file");
        Require(piece.op.data.size() <= size, "more embedded data than bytes");
        last = offset;
        // Every piece takes at least a byte, but for the end of a stream
        // and the begin of the next.
        Require(++pieces <= 3 * size + 3, "more pieces than the file can hold");
    }
    Require(error.message.empty() || error.offset <= size, "error offset beyond the file");
    return 0;
}
