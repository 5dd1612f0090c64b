# Debian packages by `cpack -G DEB` in the build directory:
#   mdm                 every program, policy, unit and data file (the default component)
#   mdm-tarvex-standin  the stand-in framework library, tarvexctl and its store folder
# mdm depends on the framework library; the platform's own package provides it on target
# machines, the stand-in package everywhere else.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mdm)
set(CPACK_PACKAGE_VENDOR "mdm")
set(CPACK_PACKAGE_CONTACT "mdm maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Peripheral device control for managed Linux desktops")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified standin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# periphcore.so is private to the package; the framework library comes from its own package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/core ${CMAKE_BINARY_DIR}/platform/tarvex)

set(MDM_FRAMEWORK_PACKAGE libtarvex-extend0)

set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME mdm)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_DEPENDS "${MDM_FRAMEWORK_PACKAGE}, dbus, systemd")
set(CPACK_COMPONENT_UNSPECIFIED_DESCRIPTION
    "USB plug monitor, bus control services, bank device daemon and mdmctl")

set(CPACK_DEBIAN_STANDIN_PACKAGE_NAME mdm-tarvex-standin)
set(CPACK_DEBIAN_STANDIN_PACKAGE_PROVIDES ${MDM_FRAMEWORK_PACKAGE})
set(CPACK_DEBIAN_STANDIN_PACKAGE_CONFLICTS ${MDM_FRAMEWORK_PACKAGE})
set(CPACK_DEBIAN_STANDIN_PACKAGE_REPLACES ${MDM_FRAMEWORK_PACKAGE})
set(CPACK_COMPONENT_STANDIN_DESCRIPTION
    "Stand-in for the security framework library, for machines without the platform's own")

# Maintainer scripts: create the folders and bank files, let the bus and systemd see the new
# policy and units. Each step may fail harmlessly in a chroot or image build.
set(MDM_DEB_SCRIPTS ${CMAKE_BINARY_DIR}/deb)
file(WRITE ${MDM_DEB_SCRIPTS}/mdm/postinst
     "#!/bin/sh\nset -e\n"
     "if [ \"$1\" = configure ]; then\n"
     "  systemd-tmpfiles --create mdm.conf || true\n"
     "  if [ -d /run/systemd/system ]; then systemctl daemon-reload || true; fi\n"
     "  dbus-send --system --type=method_call --dest=org.freedesktop.DBus / "
     "org.freedesktop.DBus.ReloadConfig >/dev/null 2>&1 || true\n"
     "fi\n")
file(WRITE ${MDM_DEB_SCRIPTS}/standin/postinst
     "#!/bin/sh\nset -e\n"
     "if [ \"$1\" = configure ]; then\n"
     "  systemd-tmpfiles --create tarvex-standin.conf || true\n"
     "  ldconfig || true\n"
     "fi\n")
file(CHMOD ${MDM_DEB_SCRIPTS}/mdm/postinst ${MDM_DEB_SCRIPTS}/standin/postinst
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                      WORLD_EXECUTE)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_CONTROL_EXTRA ${MDM_DEB_SCRIPTS}/mdm/postinst)
set(CPACK_DEBIAN_STANDIN_PACKAGE_CONTROL_EXTRA ${MDM_DEB_SCRIPTS}/standin/postinst)

include(CPack)
