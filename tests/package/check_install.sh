#!/usr/bin/env bash
# Installs the build to a fresh prefix, installs it to a second one (which replaces the build's
# manifest, as building the package does), uninstalls the first as the README says and checks
# that nothing of it is left, not even an empty folder, while the second and a file of the
# user's beside the first stay.
#   check_install.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$1 out=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$out" && mkdir -p "$out"
prefix=$out/prefix
# The manifest of the user's own install stays as it was.
manifest=$build/install_manifest.txt
[ ! -e "$manifest" ] || cp -p "$manifest" "$out/manifest.saved"
restore() { if [ -e "$out/manifest.saved" ]; then mv "$out/manifest.saved" "$manifest"; else rm -f "$manifest"; fi; }
trap restore EXIT
cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 \
  || { cat "$out/install.log" >&2; fail "cmake --install"; }
cp "$manifest" "$out/install_manifest.txt"

entry=$prefix/share/applications/kivlog.desktop
grep -qx "Exec=$prefix/bin/kivlog %f" "$entry" || fail "menu entry: $(grep ^Exec= "$entry" || true)"
installed=$(cd "$prefix" && find . ! -type d | sort)
listed=$(sed "s|^$prefix|.|" "$out/install_manifest.txt" | sort)
[ "$installed" = "$listed" ] || fail "installed but not in the manifest:"$'\n'"$(comm -23 \
  <(echo "$installed") <(echo "$listed"))"

mkdir -p "$prefix/share/applications/mine" && touch "$prefix/share/applications/mine.desktop"
cmake --install "$build" --prefix "$out/second" >>"$out/install.log" 2>&1 || fail "second install"
"$prefix/lib/kivlog/uninstall" >"$out/uninstall.log" 2>&1 || { cat "$out/uninstall.log" >&2; fail "uninstall"; }
left=$(cd "$prefix" && find . -mindepth 1 | sort)
mine=$'./share\n./share/applications\n./share/applications/mine\n./share/applications/mine.desktop'
[ "$left" = "$mine" ] || fail "left after uninstalling:"$'\n'"$left"
[ -x "$out/second/bin/kivlog" ] || fail "the uninstall took the second install's files"
echo "ok: install and uninstall"
