// SPDX-License-Identifier: MIT
// Published PCL XL names of operators, attributes and data types, for
// printing decoded jobs: the names in the lists of xlcodes.h.
#include "xldecode/xldecode.h"

#include "xlstream/xlcodes.h"

namespace {

struct CodeName {
    uint16_t code;
    const char *name;
};

#define FNDL_XL_NAME(code, Name) {code, #Name},
#define FNDL_XL_NO_NAME(code)
#define FNDL_XL_TAG_NAME(code, Identifier, name) {code, name},

constexpr CodeName kOperatorNames[] = {FNDL_XL_OPERATORS(FNDL_XL_NAME, FNDL_XL_NO_NAME)};
constexpr CodeName kAttributeNames[] = {FNDL_XL_ATTRIBUTES(FNDL_XL_NAME, FNDL_XL_NO_NAME)};
constexpr CodeName kDataTypeNames[] = {FNDL_XL_DATA_TYPES(FNDL_XL_TAG_NAME)};

template <size_t N>
const char *FindName(const CodeName (&names)[N], uint16_t code)
{
    for (const CodeName &entry : names) {
        if (entry.code == code)
            return entry.name;
    }
    return nullptr;
}

} // namespace

const char *XLOperatorName(uint8_t code) { return FindName(kOperatorNames, code); }
const char *XLAttributeName(uint16_t id) { return FindName(kAttributeNames, id); }
const char *XLDataTypeName(uint8_t tag) { return FindName(kDataTypeNames, tag); }
