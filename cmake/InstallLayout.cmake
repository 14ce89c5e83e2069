# The installed layout: every path the package installs, in one place. The
# install rules use these variables, and InstallLayout.h (generated from them)
# gives the same paths to the programs, the uninstall helper among them.
# Paths are absolute on the installed system; programs map them through TQ58_ROOT.

set(TQ58_VENDOR_PREFIX "com.pellori")
set(TQ58_HELPER_SERVICE "${TQ58_VENDOR_PREFIX}.UninstallHelperTQ58")

# The PPD where cups-driverd finds it (see TQ58_CUPS_MODEL_LINK below); the
# maker's other models put theirs beside it.
set(TQ58_PPD_FOLDER "/usr/share/ppd/pellori")
set(TQ58_PPD "${TQ58_PPD_FOLDER}/TQ-58.ppd.gz")
set(TQ58_SIBLING_PPDS "HB-23.ppd.gz;HB-23W.ppd.gz;PL.ppd.gz;RK730B.ppd.gz")
# CUPS runs a backend readable by root alone as root.
set(TQ58_BACKEND "/usr/lib/cups/backend/fyxbackend")
set(TQ58_PROFILE_FOLDER "/usr/share/color/icc/pellori")
set(TQ58_PROFILES "PD_TQ58_0100.icc;SD_TQ58_0100.icc")
# The filter's default profiles: PD for most media, SD for media class 0001.
set(TQ58_PROFILE_PD "${TQ58_PROFILE_FOLDER}/PD_TQ58_0100.icc")
set(TQ58_PROFILE_SD "${TQ58_PROFILE_FOLDER}/SD_TQ58_0100.icc")
set(TQ58_FILTER "/usr/lib/cups/filter/rastertotq58")
# The icon, as a PNG of each size in the hicolor theme (the window's 48 and
# the desktop entries' larger one).
set(TQ58_ICON_NAME "pellori-tq58")
set(TQ58_ICON_SIZES "48;128")
set(TQ58_ICONS "")
foreach(size ${TQ58_ICON_SIZES})
  list(APPEND TQ58_ICONS "/usr/share/icons/hicolor/${size}x${size}/apps/${TQ58_ICON_NAME}.png")
endforeach()
set(TQ58_UTILITY_EXE "/usr/bin/StatusUtilityTQ-58")
set(TQ58_STATUSINFO_EXE "/usr/bin/StatusInfoTQ-58")
# The maker's cache folder is shared by its models; this model's folder is below it.
set(TQ58_MAKER_CACHE_FOLDER "/var/cache/pellori")
set(TQ58_CACHE_FOLDER "${TQ58_MAKER_CACHE_FOLDER}/TQ-58")
set(TQ58_DAEMON "/usr/sbin/infotq58")
set(TQ58_SYSTEMD_UNIT_NAME "infotq58.service")
set(TQ58_SYSTEMD_UNIT "/lib/systemd/system/${TQ58_SYSTEMD_UNIT_NAME}")
# The printer application (a package of its own), its unit (installed disabled) and state folder.
set(TQ58_PRINTER_APP "/usr/sbin/tq58-printer-app")
set(TQ58_PRINTER_APP_UNIT "/lib/systemd/system/tq58-printer-app.service")
set(TQ58_PRINTER_APP_STATE_FOLDER "/var/lib/tq58-printer-app")
set(TQ58_HELPER_FOLDER "/usr/libexec/tq58")
set(TQ58_HELPER "${TQ58_HELPER_FOLDER}/UninstallHelperTQ58")
set(TQ58_POLKIT_ACTION "/usr/share/polkit-1/actions/${TQ58_HELPER_SERVICE}.policy")
# Folders that go once they hold nothing more, in this order.
set(TQ58_PRUNE_FOLDERS "${TQ58_PPD_FOLDER};${TQ58_PROFILE_FOLDER};${TQ58_MAKER_CACHE_FOLDER};${TQ58_HELPER_FOLDER}")

# What the Linux installation adds (removed after the files above).
set(TQ58_UNINSTALLER "/usr/bin/UninstallTQ58")
# cups-driverd names a PPD below /usr/share/ppd "lsb/usr/..."; through this
# link in its model folder it serves the PPD as "pellori/TQ-58.ppd.gz" (and
# skips the folder itself when it reaches it below /usr/share/ppd).
set(TQ58_CUPS_MODEL_LINK "/usr/share/cups/model/pellori")
get_filename_component(_tq58_model_folder "${TQ58_CUPS_MODEL_LINK}" NAME)
get_filename_component(_tq58_ppd_name "${TQ58_PPD}" NAME)
# The PPD's model name: what `lpinfo -m` lists and `lpadmin -m` takes.
set(TQ58_PPD_MODEL_NAME "${_tq58_model_folder}/${_tq58_ppd_name}")
set(TQ58_DESKTOP_ENTRY "/usr/share/applications/tq58-status.desktop")
set(TQ58_UNINSTALL_DESKTOP_ENTRY "/usr/share/applications/tq58-uninstall.desktop")
set(TQ58_LINUX_EXTRAS
  "${TQ58_CUPS_MODEL_LINK};${TQ58_DESKTOP_ENTRY};${TQ58_UNINSTALL_DESKTOP_ENTRY};${TQ58_UNINSTALLER}")
# The tools (emulator, decoder, ...): a package of their own, never part of the driver.
set(TQ58_TOOLS_FOLDER "/usr/bin")
# dpkg and its query tool: the helper asks dpkg-query whether our packages are
# there and removes a packaged driver through dpkg.
set(TQ58_DPKG "/usr/bin/dpkg")
set(TQ58_DPKG_QUERY "/usr/bin/dpkg-query")
set(TQ58_PACKAGES "tq58-printer-app;tq58-tools;tq58-status;printer-driver-tq58")

# C++ initialiser lists from the CMake lists above.
function(tq58_cxx_list out)
  set(items "")
  foreach(item ${ARGN})
    string(APPEND items "    \"${item}\",\n")
  endforeach()
  set(${out} "${items}" PARENT_SCOPE)
endfunction()
tq58_cxx_list(TQ58_SIBLING_PPDS_CXX ${TQ58_SIBLING_PPDS})
tq58_cxx_list(TQ58_PROFILES_CXX ${TQ58_PROFILES})
tq58_cxx_list(TQ58_ICONS_CXX ${TQ58_ICONS})
tq58_cxx_list(TQ58_PRUNE_FOLDERS_CXX ${TQ58_PRUNE_FOLDERS})
tq58_cxx_list(TQ58_LINUX_EXTRAS_CXX ${TQ58_LINUX_EXTRAS})
tq58_cxx_list(TQ58_PACKAGES_CXX ${TQ58_PACKAGES})
configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.h.in ${CMAKE_BINARY_DIR}/generated/InstallLayout.h @ONLY)
