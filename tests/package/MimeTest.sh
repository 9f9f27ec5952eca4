#!/usr/bin/env bash
# The MIME definition is valid XML in the shared-mime-info namespace, gives *.cel its own type,
# is accepted by update-mime-database (which then maps *.cel to it), and the desktop entry
# names that type.
# Usage: MimeTest.sh MIME.xml ENTRY.desktop
set -euo pipefail
mime="$1"
entry="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }

xmllint --noout "$mime" || fail "not well-formed XML"
ns="http://www.freedesktop.org/standards/shared-mime-info"
type=$(xmllint --xpath "string(/*[local-name()='mime-info' and namespace-uri()='$ns']/*[local-name()='mime-type'][*[local-name()='glob' and @pattern='*.cel']]/@type)" "$mime")
[ -n "$type" ] || fail "no mime-type with the glob *.cel"
grep -qx "MimeType=.*$type;.*" "$entry" || fail "the desktop entry does not name $type"

if command -v update-mime-database >/dev/null; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/mime/packages"
    cp "$mime" "$work/mime/packages/vornix.xml"
    XDG_DATA_HOME="$work" XDG_DATA_DIRS="$work" update-mime-database "$work/mime" 2>"$work/errors" || fail "update-mime-database: $(cat "$work/errors")"
    [ ! -s "$work/errors" ] || fail "update-mime-database complained: $(cat "$work/errors")"
    grep -q ":$type:\*\.cel$" "$work/mime/globs2" || fail "globs2 does not map *.cel to $type"
fi
echo "1 passed, 0 failed"
