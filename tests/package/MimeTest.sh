#!/usr/bin/env bash
# The MIME definition is valid XML in the shared-mime-info namespace, gives *.cel and *.cl2
# each a type of its own, is accepted by update-mime-database (which then maps each glob to its
# type), and the desktop entry names both types.
# Usage: MimeTest.sh MIME.xml ENTRY.desktop
set -euo pipefail
mime="$1"
entry="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }

xmllint --noout "$mime" || fail "not well-formed XML"
ns="http://www.freedesktop.org/standards/shared-mime-info"
declare -A types
for glob in '*.cel' '*.cl2'; do
    type=$(xmllint --xpath "string(/*[local-name()='mime-info' and namespace-uri()='$ns']/*[local-name()='mime-type'][*[local-name()='glob' and @pattern='$glob']]/@type)" "$mime")
    [ -n "$type" ] || fail "no mime-type with the glob $glob"
    grep -qx "MimeType=.*$type;.*" "$entry" || fail "the desktop entry does not name $type"
    types[$glob]=$type
done
[ "${types['*.cel']}" != "${types['*.cl2']}" ] || fail "*.cel and *.cl2 share the type ${types['*.cel']}"

if command -v update-mime-database >/dev/null; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/mime/packages"
    cp "$mime" "$work/mime/packages/vornix.xml"
    XDG_DATA_HOME="$work" XDG_DATA_DIRS="$work" update-mime-database "$work/mime" 2>"$work/errors" || fail "update-mime-database: $(cat "$work/errors")"
    [ ! -s "$work/errors" ] || fail "update-mime-database complained: $(cat "$work/errors")"
    for glob in '*.cel' '*.cl2'; do
        awk -F: -v type="${types[$glob]}" -v glob="$glob" '$2 == type && $3 == glob { found = 1 }
            END { exit !found }' "$work/mime/globs2" || fail "globs2 does not map $glob to ${types[$glob]}"
    done
fi
echo "1 passed, 0 failed"
