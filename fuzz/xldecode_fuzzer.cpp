// SPDX-License-Identifier: MIT
// PCL XL decoder: any bytes decode or fail cleanly, and what it gives back
// lies inside the bytes it was given.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "xldecode/xldecode.h"
#include "fuzz_check.h"

namespace {

bool Inside(std::span<const uint8_t> bytes, std::span<const uint8_t> part)
{
    return part.empty() || (part.data() >= bytes.data() && part.data() + part.size() <= bytes.data() + bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    std::vector<XLToken> tokens;
    XLDecodeError error;
    const bool tokensDecoded = XLDecodeTokens(bytes, tokens, error);
    Require(tokensDecoded || error.offset <= size, "error offset beyond the bytes");
    for (const XLToken &token : tokens) {
        Require(token.offset + token.size <= size && Inside(bytes, token.raw), "token outside the bytes");
        if (token.kind == XLTokenKind::Operator)
            XLOperatorName(static_cast<uint8_t>(token.id));
        else if (token.kind == XLTokenKind::Attribute)
            XLAttributeName(token.id);
        else
            XLDataTypeName(token.tag);
    }

    std::vector<XLOperation> ops;
    const bool opsDecoded = XLDecodeOperations(bytes, ops, error);
    Require(!opsDecoded || tokensDecoded, "operations decoded from a malformed token run");
    for (const XLOperation &op : ops) {
        Require(op.offset < size, "operator outside the bytes");
        for (const XLAttribute &attribute : op.attributes)
            Require(Inside(bytes, attribute.value.raw), "attribute value outside the bytes");
        Require(op.data.size() <= size, "more embedded data than bytes");
    }
    return 0;
}
