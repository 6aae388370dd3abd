# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# What shows that a Buildroot build fetched nothing. Sourced.

# offline_log LOG: true when the make log shows no download: no ">>> PKG
# VERSION Downloading" and none of wget's own lines, which start with
# "--DATE TIME--". BusyBox's configuration output names its wget applet
# ("wget (38 kb) (WGET) [Y/n/?] y"): that is not a download.
offline_log() { ! grep -E '^>>> .* Downloading|^--[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}-- ' "$1"; }

# downloaded BUILDROOT: what its download folder holds, its locks aside.
downloaded() { (cd "$1/dl" 2>/dev/null && find . -type f ! -name .lock | sort); }
