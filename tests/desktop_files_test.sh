#!/usr/bin/env bash
# Validates the desktop integration as software centres and menus read it.
# Usage: desktop_files_test.sh desktop FILE.desktop
#        desktop_files_test.sh metainfo FILE.metainfo.xml
set -u
case "$1" in
  desktop) TOOL=desktop-file-validate PACKAGE=desktop-file-utils COMMAND=(desktop-file-validate "$2") ;;
  metainfo) TOOL=appstreamcli PACKAGE=appstream COMMAND=(appstreamcli validate --no-net --explain "$2") ;;
  *) echo "unknown kind $1"; exit 2 ;;
esac
command -v "$TOOL" >/dev/null || { echo "SKIP: $TOOL is not installed (Debian package $PACKAGE)"; exit 77; }
"${COMMAND[@]}"
