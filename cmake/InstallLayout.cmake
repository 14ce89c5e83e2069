# The installed layout: every path the package installs, in one place. The
# install rules use these variables, and InstallLayout.h (generated from them)
# gives the same paths to the programs, the uninstall helper among them.
# Paths are absolute on the installed system; programs map them through TQ58_ROOT.

set(TQ58_VENDOR_PREFIX "com.pellori")
set(TQ58_HELPER_SERVICE "${TQ58_VENDOR_PREFIX}.UninstallHelperTQ58")
set(TQ58_DAEMON_LABEL "${TQ58_VENDOR_PREFIX}.infotq58")

# The PPD where cups-driverd finds it (see TQ58_CUPS_MODEL_LINK below).
set(TQ58_PPD_FOLDER "/usr/share/ppd/pellori")
set(TQ58_PPD "${TQ58_PPD_FOLDER}/TQ-58.ppd.gz")
set(TQ58_SIBLING_PPDS "HB-23.ppd.gz;HB-23W.ppd.gz;PL.ppd.gz;RK730B.ppd.gz")
set(TQ58_BACKEND "/usr/libexec/cups/backend/fyxbackend")
set(TQ58_PROFILE_FOLDER "/Library/ColorSync/Profiles")
set(TQ58_PROFILES "PD_TQ58_0100.icc;SD_TQ58_0100.icc")
set(TQ58_FILTER "/Library/Printers/Pellori/Filters/rastertotq58")
set(TQ58_ICON "/Library/Printers/Pellori/Icons/pellori-tq58.icns")
set(TQ58_UTILITY_APP "/Library/Printers/Pellori/Utilities/StatusUtilityTQ-58.app")
set(TQ58_UTILITY_EXE "${TQ58_UTILITY_APP}/Contents/MacOS/StatusUtilityTQ-58")
set(TQ58_STATUSINFO_EXE "${TQ58_UTILITY_APP}/Contents/Resources/StatusInfoTQ-58.app/Contents/MacOS/StatusInfoTQ-58")
set(TQ58_CACHE_FOLDER "/Library/Caches/Pellori/TQ-58")
set(TQ58_DAEMON "/Library/Printers/Pellori/StatusControllers/infotq58")
set(TQ58_DAEMON_LAUNCHD "/Library/LaunchDaemons/${TQ58_DAEMON_LABEL}.plist")
set(TQ58_HELPER_LAUNCHD "/Library/LaunchDaemons/${TQ58_HELPER_SERVICE}.plist")
set(TQ58_HELPER "/Library/PrivilegedHelperTools/${TQ58_HELPER_SERVICE}")
set(TQ58_STRAY_FILE "/Library/Caches/Pellori/.DS_Store")
set(TQ58_PRUNE_FOLDERS
  "/Library/Caches/Pellori;/Library/Printers/Pellori/Filters;/Library/Printers/Pellori/Icons;/Library/Printers/Pellori/StatusControllers;/Library/Printers/Pellori/Utilities;/Library/Printers/Pellori")

# What the Linux installation adds beside those paths (removed after them).
set(TQ58_UNINSTALL_FOLDER "/Library/Printers/Pellori/Uninstall")
set(TQ58_UNINSTALLER "${TQ58_UNINSTALL_FOLDER}/UninstallTQ58")
set(TQ58_CUPS_BACKEND_LINK "/usr/lib/cups/backend/fyxbackend")
# CUPS finds the PPD's filter "rastertotq58" in its own filter folder.
set(TQ58_CUPS_FILTER_LINK "/usr/lib/cups/filter/rastertotq58")
# cups-driverd names a PPD below /usr/share/ppd "lsb/usr/..."; through this
# link in its model folder it serves the PPD as "pellori/TQ-58.ppd.gz" (and
# skips the folder itself when it reaches it below /usr/share/ppd).
set(TQ58_CUPS_MODEL_LINK "/usr/share/cups/model/pellori")
get_filename_component(_tq58_model_folder "${TQ58_CUPS_MODEL_LINK}" NAME)
get_filename_component(_tq58_ppd_name "${TQ58_PPD}" NAME)
# The PPD's model name: what `lpinfo -m` lists and `lpadmin -m` takes.
set(TQ58_PPD_MODEL_NAME "${_tq58_model_folder}/${_tq58_ppd_name}")
set(TQ58_SYSTEMD_UNIT "/lib/systemd/system/infotq58.service")
set(TQ58_SYSTEMD_UNIT_NAME "infotq58.service")
set(TQ58_POLKIT_ACTION "/usr/share/polkit-1/actions/${TQ58_HELPER_SERVICE}.policy")
set(TQ58_DESKTOP_ENTRY "/usr/share/applications/tq58-status.desktop")
set(TQ58_LINUX_EXTRAS
  "${TQ58_CUPS_BACKEND_LINK};${TQ58_CUPS_FILTER_LINK};${TQ58_CUPS_MODEL_LINK};${TQ58_PPD_FOLDER};${TQ58_SYSTEMD_UNIT};${TQ58_POLKIT_ACTION};${TQ58_DESKTOP_ENTRY};${TQ58_UNINSTALLER};${TQ58_UNINSTALL_FOLDER}")

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
tq58_cxx_list(TQ58_PRUNE_FOLDERS_CXX ${TQ58_PRUNE_FOLDERS})
tq58_cxx_list(TQ58_LINUX_EXTRAS_CXX ${TQ58_LINUX_EXTRAS})
configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.h.in ${CMAKE_BINARY_DIR}/generated/InstallLayout.h @ONLY)
