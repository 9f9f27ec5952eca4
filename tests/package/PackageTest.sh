#!/usr/bin/env bash
# Builds the Debian package from a built tree into a folder of its own and checks it: its name,
# dependencies worked out from the binaries, a file list holding every file that
# `cmake --install` installs, and programs that run from the extracted package.
# Usage: PackageTest.sh BUILD_DIR CPACK VERSION
set -euo pipefail
build="$1"
cpack="$2"
version="$3"
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every file an install under /usr puts in place, relative to the root.
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
(cd "$work/stage" && find . -type f -o -type l | sed 's|^\./|/|' | sort) >"$work/installed"
[ -s "$work/installed" ] || fail "cmake --install installed nothing"
for wanted in /usr/bin/vornix /usr/bin/vornix-cel /usr/share/applications/vornix.desktop \
    /usr/share/mime/packages/vornix.xml /usr/share/icons/hicolor/scalable/apps/vornix.svg \
    /usr/share/man/man1/vornix.1 /usr/share/man/man1/vornix-cel.1; do
    grep -qx "$wanted" "$work/installed" || fail "not installed: $wanted"
done

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$work/out/vornix_${version}_amd64.deb"
[ -f "$deb" ] || fail "no package named $(basename "$deb"): $(ls "$work/out")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ "$depends" == *libqt6widgets6* ]] || fail "Depends does not name the Qt widgets library"
[[ "$depends" == *libc6* ]] || fail "Depends does not name the C library"

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' | grep -v '/$' | sort >"$work/packaged"
missing=$(comm -23 "$work/installed" "$work/packaged")
[ -z "$missing" ] || fail "installed but not in the package: $missing"

dpkg-deb -x "$deb" "$work/root"
# vornix-cel from the package runs with the libraries the package depends on. Its --version is
# checked whenever its usage offers it (the option came with a later vornix-cel than --help).
help=$("$work/root/usr/bin/vornix-cel" --help) || fail "vornix-cel --help failed"
[[ "$help" == *"usage: vornix-cel"* ]] || fail "vornix-cel --help printed '$help'"
if [[ "$help" == *"--version"* ]]; then
    out=$("$work/root/usr/bin/vornix-cel" --version) || fail "vornix-cel --version failed"
    [[ "$out" =~ ^vornix-cel\ [0-9] ]] || fail "vornix-cel --version printed '$out'"
else
    echo "note: this vornix-cel has no --version; --help checked instead"
fi
# The Python module, when the tree built one: installed where python3 looks, packaged, and
# importable from the package with the libraries the package depends on.
if ls "$build"/python/vornix*.so >/dev/null 2>&1; then
    module=$(grep -E '/vornix\.cpython-[^/]*\.so$' "$work/installed" | head -n 1)
    [ -n "$module" ] || fail "the Python module is built but not installed"
    grep -qx "$(dirname "$module")/vornix.pyi" "$work/installed" || fail "no vornix.pyi beside $module"
    folder="$work/root$(dirname "$module")"
    # A sanitizer build's module needs its runtimes preloaded (VORNIX_PYTHON_PRELOAD); python3
    # keeps its own objects until exit, so leaks are not checked there.
    out=$(LD_PRELOAD="${VORNIX_PYTHON_PRELOAD:-}" ASAN_OPTIONS=detect_leaks=0 python3 -c "import sys; sys.path.insert(0, sys.argv[1]); import vornix
assert vornix.__file__.startswith(sys.argv[1]), vornix.__file__
print(len(vornix.default_palette()))" "$folder") || fail "the packaged module does not import"
    [ "$out" = 256 ] || fail "the packaged module printed '$out'"
    recommends=$(dpkg-deb -f "$deb" Recommends)
    [[ "$recommends" == *python3* ]] || fail "Recommends does not name python3: '$recommends'"
fi
out=$("$work/root/usr/bin/vornix" --version) || fail "vornix --version failed"
[ "$out" = "vornix $version" ] || fail "vornix --version printed '$out'"
echo "1 passed, 0 failed"
