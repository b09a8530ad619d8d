# Run last when installing with cmake --install: writes <prefix>/lib/kivlog/uninstall, which
# takes this install back (its files and the folders they leave empty), whatever was installed
# or packaged from the build folder since, which replaces build/install_manifest.txt. A staged
# install (DESTDIR, as cpack makes one) writes none: the package manager takes a package back.
# Given by CMakeLists.txt: KIVLOG_UNINSTALLER (the script's place below the prefix) and
# KIVLOG_UNINSTALLER_STAGING.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
cmake_path(SET prefix NORMALIZE "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "(.)/$" "\\1" prefix "${prefix}")
set(script "${prefix}/${KIVLOG_UNINSTALLER}")

function(kivlog_shell_quoted out text)
  string(REPLACE "'" "'\\''" text "${text}")
  set(${out} "'${text}'" PARENT_SCOPE)
endfunction()

kivlog_shell_quoted(quoted_prefix "${prefix}")
set(lines "#!/bin/sh
# Takes back the install of KIV-N's Diary to ${prefix}: removes the files it put there and the
# folders they leave empty. The diary's data stays.
prefix=${quoted_prefix}
gone() {
  rm -fv -- \"$1\"
  dir=\${1%/*}
  while [ \"$dir\" != \"$prefix\" ] && rmdir -- \"$dir\" 2>/dev/null; do
    echo \"removed folder '$dir'\"
    dir=\${dir%/*}
  done
}
")
foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES ITEMS "${script}")
  kivlog_shell_quoted(quoted "${file}")
  string(APPEND lines "gone ${quoted}\n")
endforeach()

# Staged in a folder of its own, since another user (root) may install from the same build.
string(RANDOM LENGTH 12 staging)
set(staging "${KIVLOG_UNINSTALLER_STAGING}/uninstaller-${staging}")
cmake_path(GET script FILENAME name)
file(WRITE "${staging}/${name}" "${lines}")
cmake_path(GET script PARENT_PATH folder)
file(INSTALL DESTINATION "${folder}" TYPE PROGRAM FILES "${staging}/${name}")
file(REMOVE_RECURSE "${staging}")
