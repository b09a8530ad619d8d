# A Debian package of the diary: cpack -G DEB in the build folder (or the "package" target)
# writes kivlog_<version>_<arch>.deb. Its Depends come from the shared libraries the programs
# link (dpkg-shlibdeps, from dpkg-dev).

# Manual pages, gzipped as Debian installs them; English in man1, Japanese in ja/man1.
set(KIVLOG_MAN_PAGES kivlog.1 kivlog.ja.1)
if(EXISTS ${PROJECT_SOURCE_DIR}/docs/man/kivlog-cli.1)
  list(APPEND KIVLOG_MAN_PAGES kivlog-cli.1 kivlog-cli.ja.1)
endif()
find_program(GZIP gzip)
set(KIVLOG_MAN_OUTPUTS)
foreach(page ${KIVLOG_MAN_PAGES})
  string(REGEX REPLACE "\\.ja\\.1$" ".1" name ${page})
  if(page MATCHES "\\.ja\\.1$")
    set(folder ${CMAKE_INSTALL_MANDIR}/ja/man1)
    set(out ${CMAKE_BINARY_DIR}/man/ja/${name})
  else()
    set(folder ${CMAKE_INSTALL_MANDIR}/man1)
    set(out ${CMAKE_BINARY_DIR}/man/${name})
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page} ${out} @ONLY)
  if(GZIP)
    # -n: no name or time stamp inside, so the same page gives the same bytes.
    add_custom_command(OUTPUT ${out}.gz COMMAND ${GZIP} -9nf -k ${out} DEPENDS ${out}
                       ${PROJECT_SOURCE_DIR}/docs/man/${page} VERBATIM)
    list(APPEND KIVLOG_MAN_OUTPUTS ${out}.gz)
    install(FILES ${out}.gz DESTINATION ${folder})
  else()
    install(FILES ${out} DESTINATION ${folder})
  endif()
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/app/org.kivn.kivlog.metainfo.xml
               ${CMAKE_BINARY_DIR}/org.kivn.kivlog.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/org.kivn.kivlog.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# What a Debian package must carry beside the programs.
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
if(GZIP)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                     COMMAND ${GZIP} -9nf -k ${CMAKE_BINARY_DIR}/changelog
                     DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog.in VERBATIM)
  list(APPEND KIVLOG_MAN_OUTPUTS ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# Everything installed beside the programs that the build makes; ./run builds it with them.
add_custom_target(kivlog_docs ALL DEPENDS ${KIVLOG_MAN_OUTPUTS})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivlog)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese desktop diary, one plain-text file per year")
set(CPACK_PACKAGE_DESCRIPTION "Pick a day in the month calendar and write what happened; moving to\n\
another day or closing the window keeps it, with no save button and no\n\
question. Each year is one Shift-JIS text file that any editor can read;\n\
kivlog-cli reads and rewrites the same files from scripts.")
set(CPACK_PACKAGE_CONTACT "KIV-N <kivlog@kivn.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The menu entry's Exec is written while installing, from the prefix the package installs to.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Wayland desktops run the diary natively; X11 needs nothing beyond Qt's own libraries. The
# window's fixed layout is measured for IPA Gothic and IPA P Gothic: without them Japanese
# shows as boxes, and another Japanese font clips the year and date labels. Nothing in the
# window uses a Mincho face (the HTML export names serif fonts for the reader's browser).
# The image-formats plugins read the WebP pictures a day may hold.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, qt6-image-formats-plugins, fonts-ipafont-gothic")
# Japanese is typed through an input method's Qt 6 module; Qt's own texts in Japanese come
# with its translations. Emoji kept in the diary as character references show, print and go
# into PDFs in colour with the colour-emoji font. The characters of JIS X 0213 beyond the basic
# plane (𠮷, 𩸽), kept as references too, are in none of the IPA fonts; Noto Sans CJK has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fcitx5-frontend-qt6 | ibus, qt6-translations-l10n, fonts-noto-color-emoji, fonts-noto-cjk")
include(CPack)
