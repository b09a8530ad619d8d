# Run when installing: writes kivlog.desktop with the program's full installed path in Exec.
# Given by app/install.cmake: KIVLOG_DESKTOP_SOURCE, KIVLOG_BINDIR, KIVLOG_APPLICATIONS_DIR.
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
set(target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${KIVLOG_APPLICATIONS_DIR}")
file(MAKE_DIRECTORY "${target}")
message(STATUS "Installing: ${target}/kivlog.desktop")
file(WRITE "${target}/kivlog.desktop" "${entry}")
