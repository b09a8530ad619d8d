# Run when installing: installs kivlog.desktop with the program's full installed path in Exec.
# Given by app/install.cmake: KIVLOG_DESKTOP_SOURCE, KIVLOG_DESKTOP_STAGING, KIVLOG_BINDIR,
# KIVLOG_APPLICATIONS_DIR.
set(bindir "${KIVLOG_BINDIR}")
if(NOT IS_ABSOLUTE "${bindir}")
  set(bindir "${CMAKE_INSTALL_PREFIX}/${bindir}")
endif()
set(program "${bindir}/kivlog")
# Exec's quoting rules: blanks and shell characters need double quotes; the characters that
# would need escapes inside them are rare enough in an install path to fall back to PATH.
if(program MATCHES "[\"`$\\%]")
  message(WARNING "kivlog.desktop: ${program} cannot be written in Exec; the entry looks in PATH")
  set(program kivlog)
elseif(program MATCHES "[ \t'<>~|&;*?#()]")
  set(program "\"${program}\"")
endif()
file(READ "${KIVLOG_DESKTOP_SOURCE}" entry)
string(REPLACE "\nExec=kivlog " "\nExec=${program} " entry "${entry}")
# Installed as a file like any other, so that it stands in install_manifest.txt and goes with
# the rest at an uninstall. Staged in a folder of its own, since another user (root) may install
# from the same build.
string(RANDOM LENGTH 12 staging)
set(staging "${KIVLOG_DESKTOP_STAGING}/desktop-entry-${staging}")
file(WRITE "${staging}/kivlog.desktop" "${entry}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${KIVLOG_APPLICATIONS_DIR}" TYPE FILE
     FILES "${staging}/kivlog.desktop")
file(REMOVE_RECURSE "${staging}")
