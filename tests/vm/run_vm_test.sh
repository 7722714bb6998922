#!/usr/bin/env bash
# Boots a small virtual machine on Debian's kernel (which has uhid, unlike the
# build machine's), loads hid, uhid and hid-generic, and runs the link test
# against the uhid adapter inside it: once with the kernel's own hot-plug
# events and once with systemd-udevd running, as on a desktop.
#
#   run_vm_test.sh --link-test PATH --adapter PATH --work DIR [--fault silent|wrong-echo]
#
# BRELLIX_VM_FAULT=silent|wrong-echo does what --fault does, from outside CTest.
# The guest sees the host's filesystem read-only over 9p, so the test runs with
# the very libraries it was built against. qemu exits 0 whatever happens in the
# guest; the verdict is read from the guest's serial console.
set -euo pipefail

link_test="" adapter="" work="" fault="${BRELLIX_VM_FAULT:-none}" fs="${BRELLIX_VM_FS:-9p}"
while [ $# -gt 0 ]; do
    case "$1" in
    --link-test) link_test=$2; shift 2 ;;
    --adapter) adapter=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --fault) fault=$2; shift 2 ;;
    *) echo "run_vm_test.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -n "$link_test" ] && [ -n "$adapter" ] && [ -n "$work" ] || {
    echo "usage: run_vm_test.sh --link-test PATH --adapter PATH --work DIR [--fault MODE]" >&2; exit 2; }
link_test=$(realpath "$link_test")
adapter=$(realpath "$adapter")

# A boot takes a few seconds under emulation and each pass well under a
# minute; the limit only catches a guest that hangs.
boot_limit_s=240

fail() { echo "FAIL vm: $*"; exit 1; }

kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1) || true
[ -n "$kernel" ] || fail "no kernel under /boot (install linux-image-amd64)"
kver=${kernel#/boot/vmlinuz-}
moddir=/lib/modules/$kver
[ -f "$moddir/modules.dep" ] || fail "no modules for $kver under $moddir"
busybox=$(command -v busybox || true)
[ -n "$busybox" ] || fail "busybox is missing (install busybox-static)"
command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 is missing (install qemu-system-x86)"
command -v cpio >/dev/null || fail "cpio is missing"

root=$work/root
rm -rf "$work"
mkdir -p "$root"/{bin,dev,proc,sys,run,tmp,host,modules}
cp "$busybox" "$root/bin/busybox"

# Modules in load order, each after the modules it depends on.
declare -A loaded=()
module_order=()
add_module() {
    local name=$1 rel dep
    rel=$(grep -E "(^|/)${name}\.ko(\.[a-z]+)?:" "$moddir/modules.dep" | head -n 1 | cut -d: -f1)
    [ -n "$rel" ] || { grep -qE "/${name}\.ko" "$moddir/modules.builtin" && return 0; fail "module $name not found for $kver"; }
    [ -n "${loaded[$rel]:-}" ] && return 0
    for dep in $(grep -E "^${rel}:" "$moddir/modules.dep" | cut -d: -f2-); do
        add_module "$(basename "$dep" | sed -E 's/\.ko(\.[a-z]+)?$//')"
    done
    loaded[$rel]=1
    local out="$root/modules/$(basename "$rel" | sed -E 's/\.ko(\.[a-z]+)?$//').ko"
    case "$rel" in
    *.ko) cp "$moddir/$rel" "$out" ;;
    *.ko.xz) xz -dc "$moddir/$rel" >"$out" ;;
    *.ko.zst) zstd -qdc "$moddir/$rel" >"$out" ;;
    *.ko.gz) gzip -dc "$moddir/$rel" >"$out" ;;
    esac
    module_order+=("$(basename "$out")")
}
for m in hid uhid hid-generic; do add_module "$m"; done
if [ "$fs" = 9p ]; then
    for m in virtio_pci 9pnet_virtio 9p; do add_module "$m"; done
fi

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
if [ "$fs" = 9p ]; then
    mount -t 9p -o ro,trans=virtio,version=9p2000.L,msize=262144,cache=loose hostroot /host || echo "brellix-vm: 9p mount failed"
    for d in proc sys dev; do mount --rbind /\$d /host/\$d; done
    mount -t tmpfs run /host/run
    mount -t tmpfs tmp /host/tmp
    jail="chroot /host"
else
    jail=""
fi
echo "brellix-vm: guest ready"
\$jail $link_test --adapter=$adapter --fault=$fault --label=kernel-events
echo "brellix-vm: starting systemd-udevd"
\$jail /bin/sh -c 'mkdir -p /run/udev && /lib/systemd/systemd-udevd --daemon --resolve-names=never' \
    || echo "brellix-vm: systemd-udevd did not start"
\$jail $link_test --adapter=$adapter --fault=$fault --label=udevd
echo "brellix-vm: done"
poweroff -f
EOF
chmod +x "$root/init"

if [ "$fs" = initramfs ]; then
    # Everything the two programs load, copied under the same paths.
    for f in "$link_test" "$adapter" $(ldd "$link_test" | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$f")"
        cp -L "$f" "$root$f"
    done
fi

(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd.cpio"

qemu_fs=()
[ "$fs" = 9p ] && qemu_fs=(-virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap)

start=$(date +%s%N)
set +e
timeout -k 10 "$boot_limit_s" qemu-system-x86_64 -accel tcg -cpu max -m 512 -smp 1 \
    -nographic -no-reboot -nodefaults -serial stdio -display none \
    -kernel "$kernel" -initrd "$work/initrd.cpio" "${qemu_fs[@]}" \
    -append "console=ttyS0 rdinit=/init panic=-1 quiet" </dev/null 2>&1 | tr -d '\r' >"$work/console.log"
status=${PIPESTATUS[0]}
set -e
end=$(date +%s%N)

cat "$work/console.log"
echo "vm: guest ran $(( (end - start) / 1000000 )) ms"
[ "$status" -eq 124 ] && fail "the guest did not finish within $boot_limit_s s"
[ "$status" -eq 0 ] || fail "qemu ended with status $status"
grep -q '^brellix-vm: done' "$work/console.log" || fail "the guest did not run to the end"
for label in kernel-events udevd; do
    grep -q "^RESULT \[$label\]: PASS" "$work/console.log" || fail "the $label pass did not pass (see the FAIL lines above)"
done
echo "vm: PASS"
