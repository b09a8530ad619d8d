#!/usr/bin/env bash
# Installs the build to a fresh prefix, uninstalls it as the README says (by the manifest) and
# checks that nothing is left but empty folders.
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

xargs rm < "$out/install_manifest.txt"
left=$(find "$prefix" ! -type d)
[ -z "$left" ] || fail "left after uninstalling:"$'\n'"$left"
echo "ok: install and uninstall"
