# The Debian package (cpack -G DEB): the installed layout above, the shared
# libraries' packages found by dpkg-shlibdeps, CUPS itself, and maintainer
# scripts that start the daemon on install and stop it on removal.
set(deb_scripts "")
foreach(script postinst prerm postrm)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${script}.in ${CMAKE_CURRENT_BINARY_DIR}/debian/${script} @ONLY)
  file(CHMOD ${CMAKE_CURRENT_BINARY_DIR}/debian/${script}
       PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  list(APPEND deb_scripts ${CMAKE_CURRENT_BINARY_DIR}/debian/${script})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tq58-driver)
set(CPACK_PACKAGE_VENDOR "Pellori")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Driver for the TQ-58 USB dye-sublimation photo printer")
set(CPACK_PACKAGE_DESCRIPTION
  "CUPS raster filter, backend and PPD for the TQ-58, a status daemon that registers a print queue for every printer plugged in, and a status window.")
set(CPACK_PACKAGE_CONTACT "TQ-58 driver maintainers <tq58-driver@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries (libcups2, libcupsimage2, liblcms2-2, libusb-1.0-0, the Qt 6
# libraries, ...) come from dpkg-shlibdeps; the daemon runs lpadmin and needs a scheduler.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "cups, cups-client")
if(TARGET UninstallTQ58)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_scripts})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
