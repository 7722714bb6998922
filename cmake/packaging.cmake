# The .deb: what `cmake --install` puts under /usr, with the libraries it
# needs found by dpkg-shlibdeps (Qt 6 Widgets, hidapi-hidraw, libudev, libelf,
# zlib)
# and the udev rule reloaded when it is installed or removed.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brellix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(BRELLIX_PACKAGE_MAINTAINER "Brellix developers" CACHE STRING "The .deb's Maintainer: Name <address>")
set(CPACK_PACKAGE_CONTACT ${BRELLIX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION "Load an Intel HEX, Motorola S-record, ELF or binary image, detect the chip
on the adapter, erase, program, verify and read it, look at the data in a hex
view, save what was read, and update the adapter's own firmware. brellix-cli runs the same jobs
from a terminal, on one adapter or on every attached adapter at once.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds no window system without its platform plugins, which the Qt
# libraries only recommend; the production record opens SQLite through Qt's
# SQLite driver, a plugin too, and a shared record through the PostgreSQL one.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/deb/postinst ${CMAKE_SOURCE_DIR}/cmake/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
