# `cpack -G DEB` in the build folder: the Debian package "dorvan" with what
# install.cmake installs, under the prefix /usr and /etc.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dorvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "dorvan maintainers <maintainers@dorvan.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wireless-configuration daemon for a home gateway")
set(CPACK_PACKAGE_DESCRIPTION "dorvand keeps the wireless configuration of a gateway with one radio
and four interfaces. It serves text commands through two named pipes in
/var, follows the board's reset button, wireless switch and WPS button,
and scans the LAN for NetBIOS host names every six minutes. With hostapd
installed it can drive the radio itself.
.
The package holds the daemon, the front end dorvan, the data-model tool
dorvan-cfg, their manual pages, the bash completion of dorvan, a confined
systemd unit and an init script for systems without systemd.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The radio backend and the LAN scan use them when they are there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hostapd, nbtscan")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/conffiles
  ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/prerm
  ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/postrm)
include(CPack)
