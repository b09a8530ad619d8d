#!/usr/bin/env bash
# Builds the Debian package from a finished build folder and checks what it holds, what it
# depends on and, where the tools are installed, that the menu entry, the software-centre
# description and the package itself pass their validators.
#   check_deb.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$1 out=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$out" && mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 \
  || { cat "$out/cpack.log" >&2; fail "cpack could not build the package"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$out/kivlog_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb; cpack wrote: $(ls "$out")"

contents=$(dpkg-deb -c "$deb")
for path in usr/bin/kivlog usr/bin/kivlog-cli usr/share/applications/kivlog.desktop \
    usr/share/icons/hicolor/scalable/apps/kivlog.svg usr/share/icons/hicolor/48x48/apps/kivlog.png \
    usr/share/metainfo/org.kivn.kivlog.metainfo.xml usr/share/man/man1/kivlog.1.gz \
    usr/share/man/ja/man1/kivlog.1.gz usr/share/man/man1/kivlog-cli.1.gz \
    usr/share/man/ja/man1/kivlog-cli.1.gz usr/share/doc/kivlog/copyright \
    usr/lib/kivlog/cli/kivlog-cli-extra.so; do
  grep -q " \./$path\$" <<<"$contents" || fail "$path is not in the package"
done

# Nothing to run on install or removal: the private module needs no ldconfig, and a package
# without a postrm (or conffiles) leaves no "rc" state behind once removed.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E '(pre|post)(inst|rm)$|conffiles$' || true)
[ -z "$scripts" ] || fail "the package runs or keeps: "$scripts

depends=$(dpkg-deb -f "$deb" Depends)
# The layout's font is a dependency: a recommendation is skipped by --no-install-recommends.
for lib in libqt6widgets6 libqt6network6 libqt6printsupport6 libc6 qt6-wayland qt6-image-formats-plugins fonts-ipafont-gothic; do
  grep -qw "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for wanted in "fcitx5-frontend-qt6 | ibus" fonts-noto-color-emoji fonts-noto-cjk; do
  grep -qF "$wanted" <<<"$recommends" || fail "Recommends lacks $wanted: $recommends"
done
! grep -q "mincho" <<<"$depends $recommends" || fail "a Mincho font the window never uses"

dpkg-deb -x "$deb" "$out/root"
entry=$out/root/usr/share/applications/kivlog.desktop
grep -qx "Exec=/usr/bin/kivlog %f" "$entry" || fail "menu entry: $(grep ^Exec= "$entry")"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$out/root/usr/share/metainfo/org.kivn.kivlog.metainfo.xml" \
    || fail "appstreamcli validate"
fi
if command -v lintian >/dev/null; then
  # Errors fail; warnings are shown for a look.
  lintian --no-tag-display-limit "$deb" | tee "$out/lintian.log" || true
  ! grep -q "^E:" "$out/lintian.log" || fail "lintian reports errors"
else
  echo "lintian is not installed: the package's lint is not checked"
fi
echo "ok: $deb"
