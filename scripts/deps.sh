# Sourced by scripts/run, test, bench, fuzz and package: installs the Debian
# packages the build needs when they are missing. Runs apt-get as root, or
# through sudo for a developer's own account.
brellix_install() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The hex view falls back to DejaVu Sans Mono where the system names no
# fixed-width face; ELF images are read with libelf.
BRELLIX_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libhidapi-dev libudev-dev zlib1g-dev
                        libelf-dev fonts-dejavu-core)
# The unit record is tested against a real PostgreSQL server the tests start
# themselves, and against SQLite, both through Qt's own database drivers.
BRELLIX_TEST_PACKAGES=(libgtest-dev libgmock-dev srecord binutils
                       postgresql libqt6sql6-psql libqt6sql6-sqlite)
# The link's test against a real kernel HID device boots Debian's kernel under
# qemu (tests/vm); udev provides the systemd-udevd it also runs against.
BRELLIX_VM_PACKAGES=(qemu-system-x86 linux-image-amd64 busybox-static cpio udev)
# CPack finds the .deb's dependencies with dpkg-shlibdeps, which needs file;
# the package's checks run the desktop's validators and man.
BRELLIX_PACKAGE_PACKAGES=(dpkg-dev file fakeroot desktop-file-utils appstream shared-mime-info man-db gzip)
BRELLIX_BENCH_PACKAGES=(libbenchmark-dev hyperfine srecord binutils)
# The fuzz targets need clang with its sanitizer and libFuzzer runtimes, which
# Debian ships apart from the compiler, and llvm-symbolizer for readable stacks.
BRELLIX_FUZZ_PACKAGES=(clang libclang-rt-14-dev llvm)
