#!/usr/bin/env bash
# Renders the chart example of the bundled data under a virtual X server, with
# the Ichimoku overlay and its cloud, and saves it as doc/chart.png. Builds nothing: the package must already be
# built in the build directory given as $1 (default: build, in the tree).
#
#   usage: scripts/screenshot.sh [BUILD-DIR]
#
# Needs xvfb-run (Debian package xvfb, with xauth) and Img's window format
# (Debian package libtk-img) or else xwd and convert (x11-apps, imagemagick).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
if [[ $build != /* ]]; then
    # A relative directory is taken from where the script is called, else
    # from the tree.
    if [[ -d $build ]]; then
        build=$(cd "$build" && pwd)
    else
        build=$repo/$build
    fi
fi
if [[ ! -f $build/pkgIndex.tcl ]]; then
    echo "screenshot.sh: no pkgIndex.tcl in $build; build the package first" >&2
    exit 1
fi
if ! command -v xvfb-run >/dev/null; then
    echo "screenshot.sh: xvfb-run not found; install the Debian package xvfb" >&2
    exit 1
fi
tclsh=${TCLSH:-$(command -v tclsh8.6 || command -v tclsh)}

TCLLIBPATH=$build xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$tclsh" "$repo/examples/chart.tcl" -overlays ichimoku -screenshot "$repo/doc/chart.png"
echo "wrote $repo/doc/chart.png"
