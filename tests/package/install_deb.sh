#!/usr/bin/env bash
# install_deb.sh DEB ROOT VERSION FILE...
# The package lists every FILE (relative to /usr), depends on the libraries
# Brellix links, installs with dpkg into the scratch ROOT (its maintainer
# scripts included), and the programs it installed run and tell VERSION.
set -euo pipefail
deb=$1 root=$2 version=$3
shift 3
status=0
fail() { echo "FAIL: $*"; status=1; }

[ -f "$deb" ] || { echo "FAIL: no $deb (run cpack --preset package first)"; exit 1; }
listing=$(dpkg-deb -c "$deb")
for f in "$@"; do
    grep -qE " \./usr/$f\$" <<<"$listing" || fail "the package does not hold /usr/$f"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libhidapi-hidraw0 libudev1 libelf1 zlib1g qt6-qpa-plugins libqt6sql6-sqlite; do
    grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "the package does not depend on $lib"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"

# A root of its own: dpkg's database, log and the maintainer scripts (run
# outside a chroot, told the root in DPKG_ROOT) all stay inside it.
rm -rf "$root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
asroot=()
[ "$(id -u)" -eq 0 ] || asroot=(fakeroot)
# --path-include undoes any path-exclude of a minimal system (man pages).
"${asroot[@]}" dpkg --root="$root" --log="$root/dpkg.log" --path-include="*" --force-script-chrootless --force-depends \
    --force-not-root -i "$deb"
for f in "$@"; do
    [ -f "$root/usr/$f" ] || fail "dpkg did not install /usr/$f"
done
[ "$("$root/usr/bin/brellix-cli" --version)" = "brellix-cli $version" ] || fail "brellix-cli --version"
[ "$("$root/usr/bin/brellix" --version)" = "brellix $version" ] || fail "brellix --version"
# Installed on a live system, the package has udev read its rule at once.
stub=$(mktemp -d)
trap 'rm -rf "$stub"' EXIT
dpkg-deb -e "$deb" "$stub/control"
printf '#!/bin/sh\necho "$*" >>"%s/calls"\n' "$stub" >"$stub/udevadm"
chmod +x "$stub/udevadm"
env -u DPKG_ROOT PATH="$stub:$PATH" "$stub/control/postinst" configure
[ "$(cat "$stub/calls" 2>/dev/null)" = $'control --reload-rules\ntrigger --subsystem-match=hidraw --action=change' ] ||
    fail "postinst configure does not reload the udev rules"
grep -q "<release version=\"$version\"" "$root"/usr/share/metainfo/*.metainfo.xml || fail "metainfo release $version"
exit $status
