#!/usr/bin/env bash
# Checks the package that scripts/package.sh made: lintian, the desktop entry, the metainfo, every man
# page, and the unpacked programs themselves, so a package missing a file fails here.
set -euo pipefail
cd "$(dirname "$0")/.."

debs=(build/qt2xx_*.deb)
if ((${#debs[@]} != 1)) || [[ ! -f ${debs[0]} ]]; then
  echo "package-check: expected one build/qt2xx_*.deb, found: ${debs[*]}" >&2
  exit 1
fi
deb=${debs[0]}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
failed=0
fail() { echo "package-check: $*" >&2; failed=1; }

lintian --fail-on error "$deb" 2> >(grep -v "running with root privileges" >&2) || fail "lintian reports errors"

for f in "$root"/usr/share/applications/*.desktop; do
  desktop-file-validate "$f" || fail "desktop entry $(basename "$f")"
done
for f in "$root"/usr/share/metainfo/*.metainfo.xml; do
  appstreamcli validate --no-net "$f" >/dev/null || { appstreamcli validate --no-net "$f"; fail "metainfo $(basename "$f")"; }
done

# Every page renders without warnings, also those of programs not built yet; every program has one.
for page in packaging/man/*.1 "$root"/usr/share/man/man1/*.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) || true
  [[ -z $warnings ]] || fail "man page $(basename "$page"): $warnings"
done
for program in "$root"/usr/bin/*; do
  [[ -f $root/usr/share/man/man1/$(basename "$program").1.gz ]] || fail "$(basename "$program") has no man page"
done

# The unpacked programs run from the package's own files.
frame=$("$root"/usr/bin/qt2xx-frame tests/data/frame/worked-example.asv) || fail "unpacked qt2xx-frame failed"
[[ $frame =~ ^([0-9A-F]{2} ?){32}$ ]] || fail "unpacked qt2xx-frame printed: $frame"
"$root"/usr/bin/qt2xx-controller-sim --help >/dev/null || fail "unpacked qt2xx-controller-sim --help failed"

((failed == 0)) && echo "package-check: $(basename "$deb") passes"
exit "$failed"
