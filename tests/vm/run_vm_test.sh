#!/usr/bin/env bash
# Boots a small virtual machine on Debian's kernel (which has uhid, unlike the
# build machine's), loads hid, uhid and hid-generic, and runs the link test
# against the uhid adapter inside it: once with only the kernel's hot-plug
# events and once with systemd-udevd running, as on a desktop. Then, with
# udevd still running, the command-line test drives brellix-cli over two such
# adapters at once.
#
#   run_vm_test.sh --link-test PATH --cli-test PATH --cli PATH --adapter PATH --work DIR
#                  [--fault silent|wrong-echo]
#
# BRELLIX_VM_FAULT=silent|wrong-echo does what --fault does, from outside CTest.
#
# The guest sees the host's root filesystem read-only over 9p and runs the
# test chrooted into it, with the very libraries it was built against (Qt,
# ICU, the sanitizer runtimes) and with the host's systemd-udevd. Copying all
# of that into the initramfs instead made a 69 MB image whose loading added
# about 6 s to every boot under emulation; the 9p image is 3 MB.
#
# qemu exits 0 whatever happens in the guest: the verdict is read from the
# guest's serial console, which is printed in full.
set -euo pipefail

link_test="" cli_test="" cli="" adapter="" work="" fault="${BRELLIX_VM_FAULT:-none}"
while [ $# -gt 0 ]; do
    case "$1" in
    --link-test) link_test=$2; shift 2 ;;
    --cli-test) cli_test=$2; shift 2 ;;
    --cli) cli=$2; shift 2 ;;
    --adapter) adapter=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --fault) fault=$2; shift 2 ;;
    *) echo "run_vm_test.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
if [ -z "$link_test" ] || [ -z "$cli_test" ] || [ -z "$cli" ] || [ -z "$adapter" ] || [ -z "$work" ]; then
    echo "usage: run_vm_test.sh --link-test PATH --cli-test PATH --cli PATH --adapter PATH --work DIR [--fault MODE]" >&2
    exit 2
fi

fail() { echo "FAIL vm: $*"; exit 1; }

# Only catches a guest that hangs: a whole run takes well under a minute.
boot_limit_s=300

link_test=$(realpath "$link_test")
cli_test=$(realpath "$cli_test")
cli=$(realpath "$cli")
adapter=$(realpath "$adapter")
[ -x "$link_test" ] || fail "no link test at $link_test"
[ -x "$cli_test" ] || fail "no command-line test at $cli_test"
[ -x "$cli" ] || fail "no brellix-cli at $cli"
[ -x "$adapter" ] || fail "no uhid adapter at $adapter"
kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1 || true)
[ -n "$kernel" ] || fail "no kernel under /boot (install linux-image-amd64)"
kver=${kernel#/boot/vmlinuz-}
moddir=/lib/modules/$kver
[ -f "$moddir/modules.dep" ] || fail "no modules for $kver under $moddir"
busybox=$(command -v busybox || true)
[ -n "$busybox" ] || fail "busybox is missing (install busybox-static)"
if ldd "$busybox" >/dev/null 2>&1; then fail "$busybox is not statically linked (install busybox-static)"; fi
[ -x /lib/systemd/systemd-udevd ] || fail "systemd-udevd is missing (install udev)"
command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 is missing (install qemu-system-x86)"
command -v cpio >/dev/null || fail "cpio is missing (install cpio)"

root=$work/root
rm -rf "$work"
mkdir -p "$root"/{bin,dev,proc,sys,host,modules}
cp "$busybox" "$root/bin/busybox"

# Modules in load order, each after those it depends on.
declare -A added=()
module_order=()
add_module() {
    local name=$1 rel dep out
    rel=$(grep -E "(^|/)${name}\.ko(\.[a-z]+)?:" "$moddir/modules.dep" | head -n 1 | cut -d: -f1)
    if [ -z "$rel" ]; then
        grep -qE "/${name}\.ko" "$moddir/modules.builtin" && return 0
        fail "module $name not found for $kver"
    fi
    [ -n "${added[$rel]:-}" ] && return 0
    for dep in $(grep -E "^${rel}:" "$moddir/modules.dep" | cut -d: -f2-); do
        add_module "$(basename "$dep" | sed -E 's/\.ko(\.[a-z]+)?$//')"
    done
    added[$rel]=1
    out=$(basename "$rel" | sed -E 's/\.ko(\.[a-z]+)?$//').ko
    case "$rel" in
    *.ko) cp "$moddir/$rel" "$root/modules/$out" ;;
    *.ko.xz) xz -dc "$moddir/$rel" >"$root/modules/$out" ;;
    *.ko.zst) zstd -qdc "$moddir/$rel" >"$root/modules/$out" ;;
    *.ko.gz) gzip -dc "$moddir/$rel" >"$root/modules/$out" ;;
    esac
    module_order+=("$out")
}
for m in hid uhid hid-generic virtio_pci 9pnet_virtio 9p; do add_module "$m"; done

cat >"$root/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in ${module_order[*]}; do
    insmod /modules/\$m || echo "brellix-vm: insmod \$m failed"
done
mount -t 9p -o ro,trans=virtio,version=9p2000.L,msize=262144,cache=loose hostroot /host \
    || echo "brellix-vm: the host filesystem could not be mounted"
for d in proc sys dev; do mount --rbind /\$d /host/\$d; done
# udevd needs a writable /run. The host's /tmp stays visible: the build being
# tested may well live there.
mount -t tmpfs run /host/run
# The adapters' lock files of root's programs go to /run/lock, which a
# system's boot makes world-writable and sticky.
mkdir -p /host/run/lock && chmod 1777 /host/run/lock
echo "brellix-vm: guest ready"
chroot /host "$link_test" --adapter="$adapter" --fault="$fault" --label=kernel-events
echo "brellix-vm: the kernel-events pass ended with status \$?"
chroot /host /bin/sh -c 'mkdir -p /run/udev && /lib/systemd/systemd-udevd --daemon --resolve-names=never' \
    || echo "brellix-vm: systemd-udevd did not start"
chroot /host "$link_test" --adapter="$adapter" --fault="$fault" --label=udevd
echo "brellix-vm: the udevd pass ended with status \$?"
# The scratch folder lies in the guest's /run, the one writable place; the
# test runs brellix-cli as another user from a copy there, as that user may
# not reach the build (a checkout in a folder of mode 700).
chroot /host "$cli_test" --cli="$cli" --adapter="$adapter" --scratch=/run/brellix-cli \
    --fault="$fault" --label=cli
echo "brellix-vm: the cli pass ended with status \$?"
echo "brellix-vm: done"
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd.cpio"

start=$(date +%s%N)
set +e
# multidevs=remap: the host's /proc, /sys and /dev lie on other filesystems
# than /, and without remapping their inode numbers collide in the guest.
timeout -k 10 "$boot_limit_s" qemu-system-x86_64 -accel tcg -cpu max -m 512 -smp 1 \
    -nographic -no-reboot -nodefaults -serial stdio -display none \
    -kernel "$kernel" -initrd "$work/initrd.cpio" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -append "console=ttyS0 rdinit=/init panic=-1 quiet" </dev/null 2>&1 |
    sed -u 's/\r$//' >"$work/console.log"
status=${PIPESTATUS[0]}
set -e
end=$(date +%s%N)

cat "$work/console.log"
echo "vm: guest ran $(((end - start) / 1000000)) ms"
[ "$status" -ne 124 ] || fail "the guest did not finish within $boot_limit_s s"
[ "$status" -eq 0 ] || fail "qemu ended with status $status"
grep -q '^brellix-vm: done' "$work/console.log" || fail "the guest stopped before the end of its run"
for label in kernel-events udevd cli; do
    grep -q "^RESULT \[$label\]: PASS" "$work/console.log" ||
        fail "the $label checks failed: $(grep -m 1 "^FAIL \[$label\]" "$work/console.log" || echo "no result")"
    # A sanitizer report (a leak found at exit, say) comes after the result line.
    grep -q "^brellix-vm: the $label pass ended with status 0" "$work/console.log" ||
        fail "the $label pass passed its checks but did not end cleanly (see the sanitizer report above)"
done
echo "vm: PASS"
