# The Debian package: `cpack -G DEB` in the build folder writes export-pnl_<version>_<arch>.deb
# with what `cmake --install` puts under /usr. The libraries the programs link are found by
# dpkg-shlibdeps; what they only load at run time is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME export-pnl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Export P&L developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "export profit-and-loss statement plug-in for the trade system")
set(CPACK_PACKAGE_DESCRIPTION
  "The export profit-and-loss statement for the foreign-trade management system: the plug-in\n\
libexportpnl.so, which the host loads, with mis-host, a small host program that opens the\n\
statement window or writes a snapshot of it, and export-pnl-server, which builds an\n\
embedded demo server to try it on.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Export P&L developers <export-pnl@example.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.com/export-pnl")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so invisible to dpkg-shlibdeps: the platform plug-ins (window
# system and offscreen), the Chinese texts of Qt's standard dialogs, and a Song-style CJK font
# for 宋体 (the font substitution list in framework/ui names these).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-qpa-plugins, qt6-translations-l10n, fonts-arphic-uming | fonts-wqy-microhei | fonts-noto-cjk")

include(CPack)
