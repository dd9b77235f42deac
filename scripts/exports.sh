#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prints the names the library exports, sorted, on one line with a space
# after each: the EXPORTS of src/win32/qorvfndl.def, the one list of them.
# The checks of the built libraries compare their symbol tables with it.
set -euo pipefail
awk '/^EXPORTS/ {on = 1; next} on && NF {print $1}' "$(dirname "$0")/../src/win32/qorvfndl.def" \
  | sort | tr '\n' ' '
