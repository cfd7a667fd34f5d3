#!/usr/bin/env bash
# The Debian package: built with CPack, its dependencies found by
# dpkg-shlibdeps, unpacked into a scratch root with `dpkg -x`, and the bundled
# story played from there.
#
#   package_deb.sh CPACK BUILD_DIR REPLAY FIXED_TIME_LIBRARY SOURCE_DIR
set -u
cpack=$1 build=$2 replay=$3 fixed_time=$4 source=$5
for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v $tool > /dev/null; then
    echo "SKIPPED: $tool is not installed (apt-get install dpkg-dev)"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$source/tests/installed_story.sh"
failed=0
fail() { echo "$*"; failed=1; }

"$cpack" -G DEB -B "$work/package" --config "$build/CPackConfig.cmake" > "$work/log" 2>&1 ||
  { cat "$work/log"; exit 1; }
debs=("$work"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { cat "$work/log"; echo "no .deb built"; exit 1; }
deb=${debs[0]}
dpkg-deb --field "$deb" Package Version Architecture Depends Section > "$work/fields"
grep -q '^Package: ostrel$' "$work/fields" || fail "wrong package name"
grep -q '^Depends: .*libc6' "$work/fields" || fail "no dependency on libc6 found"
grep -q '^Depends: .*libstdc++6' "$work/fields" || fail "no dependency on libstdc++6 found"
[ $failed -eq 0 ] || cat "$work/fields"
dpkg -x "$deb" "$work/root"
for file in usr/bin/ostrel usr/bin/ostrel-check usr/share/man/man6/ostrel.6 \
            usr/share/ostrel/games/the-ember-crown/script.ostrel; do
  [ -f "$work/root/$file" ] || fail "the package lacks $file"
done
# The programs come stripped of their debugging sections, as a distribution
# ships them.
if command -v readelf > /dev/null; then
  for program in "$work"/root/usr/bin/*; do
    ! readelf -S "$program" | grep -q '\.debug_' || fail "$(basename "$program") is not stripped"
  done
fi
PlayInstalledStory "$work/root/usr/bin" "$work/root/usr/share/ostrel/games/the-ember-crown" \
  "$replay" "$fixed_time" "$source" "$work" || failed=1
[ $failed -eq 0 ] && echo "1 passed, 0 failed"
exit $failed
