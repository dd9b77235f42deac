#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Compares fndl-texttopxl with the chain Debian uses for a PCL XL printer
# (texttopdf, pdftopdf, gstopxl with cups-filters' pxlmono.ppd) on the same
# text and paper, and a PDF of that text through both queues (pdftopdf and
# gstopxl, with pxlmono.ppd and with qorvfndl-pclxl.ppd): job bytes and CPU
# time (user + system, best of RUNS) per page. Needs a build (bash
# scripts/test.sh) and cups-filters.
#
#   bash filters/compare.sh [TEXT] [BUILD]
set -euo pipefail
text=${1:-/usr/share/common-licenses/GPL-3}
build=$(cd "${2:-build}" && pwd)
runs=${RUNS:-5}
here=$(cd "$(dirname "$0")" && pwd)
filters=/usr/lib/cups/filter
options="media=A4 cpi=10 lpi=6 page-left=36 page-right=36 page-top=36 page-bottom=36"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CONTENT_TYPE=text/plain PRINTER=compare CUPS_SERVERBIN=/usr/lib/cups \
       CUPS_DATADIR=/usr/share/cups FNDL_TOOL="$build/tools/fndl/fndl"

debian() {
  PPD=/usr/share/ppd/cupsfilters/pxlmono.ppd
  export PPD
  "$filters/texttopdf" 1 user title 1 "$options" "$text" 2>/dev/null |
    "$filters/pdftopdf" 1 user title 1 "$options" 2>/dev/null |
    "$filters/gstopxl" 1 user title 1 "$options" 2>/dev/null
}
fndl() {
  PPD="$here/qorvfndl-pclxl.ppd"
  export PPD
  "$build/filters/fndl-texttopxl" 1 user title 1 "$options" "$text" 2>/dev/null
}

# The same text as a PDF, as an application would print it.
PPD=/usr/share/ppd/cupsfilters/pxlmono.ppd "$filters/texttopdf" 1 user title 1 "$options" "$text" \
  >"$work/text.pdf" 2>/dev/null
pdf_pxlmono() {
  PPD=/usr/share/ppd/cupsfilters/pxlmono.ppd
  export PPD CONTENT_TYPE=application/pdf
  "$filters/pdftopdf" 1 user title 1 "$options" "$work/text.pdf" 2>/dev/null |
    "$filters/gstopxl" 1 user title 1 "$options" 2>/dev/null
}
pdf_qorvfndl() {
  PPD="$here/qorvfndl-pclxl.ppd"
  export PPD CONTENT_TYPE=application/pdf
  "$filters/pdftopdf" 1 user title 1 "$options" "$work/text.pdf" 2>/dev/null |
    "$filters/gstopxl" 1 user title 1 "$options" 2>/dev/null
}

# CPU seconds of the best run, the job in $work/$1.pxl.
measure() {
  local best=""
  TIMEFORMAT='%3U %3S'
  for ((i = 0; i < runs; i++)); do
    local t
    t=$( { time "$1" >"$work/$1.pxl"; } 2>&1 | awk 'END { printf "%.3f", $1 + $2 }')
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
  done
  echo "$best"
}

# Pages of a job: BeginPage operators in its PCL XL stream (PJL removed).
pages() {
  perl -0777 -ne 'print $1 if /(\) HP-PCL XL.*)\x1B%-12345X/s' "$work/$1.pxl" >"$work/$1.xl"
  { "$build/tools/fndl/fndl" dump --summary "$work/$1.xl" 2>/dev/null || true; } | sed -n 's/.*pages: \([0-9]*\).*/\1/p'
}

printf '%-28s %6s %10s %10s %12s %12s\n' chain pages bytes cpu-ms "bytes/page" "cpu-ms/page"
for chain in debian fndl pdf_pxlmono pdf_qorvfndl; do
  cpu=$(measure $chain)
  n=$(pages $chain)
  bytes=$(stat -c %s "$work/$chain.pxl")
  case $chain in
    debian) name="texttopdf|pdftopdf|gstopxl" ;;
    fndl) name="fndl-texttopxl" ;;
    pdf_pxlmono) name="PDF, pxlmono.ppd" ;;
    pdf_qorvfndl) name="PDF, qorvfndl-pclxl.ppd" ;;
  esac
  awk -v c="$name" -v n="$n" -v b="$bytes" -v t="$cpu" 'BEGIN {
    printf "%-28s %6d %10d %10.1f %12.0f %12.2f\n", c, n, b, t * 1000, b / n, t * 1000 / n }'
done
