#!/bin/sh
# The desktop entry, the metainfo and the manual page pass their own validators
# without a warning. Exit: 0 pass, 1 fail, 77 skip (a validator is not installed).
#
#   check_metadata.sh PACKAGING_DIR
dir=${1:?usage: check_metadata.sh PACKAGING_DIR}
for tool in desktop-file-validate appstreamcli groff; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
status=0
desktop-file-validate "$dir/io.github.zenkora.Zenkora.desktop" || status=1
appstreamcli validate --no-net "$dir/io.github.zenkora.Zenkora.metainfo.xml" || status=1
warnings=$(groff -man -ww -z "$dir/zenkora.6" 2>&1)
[ -z "$warnings" ] || { printf '%s\n' "$warnings"; status=1; }
exit $status
