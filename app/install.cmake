# The desktop's menu entry, icon and software-centre description, beside the binary that
# app/CMakeLists.txt installs.

# The entry names the program by its full installed path, so that a menu starts it even when
# the install's bin folder is not on PATH. The path is known only when installing (cmake
# --install --prefix, a package's staging), hence the entry is written then.
install(CODE "set(KIVLOG_DESKTOP_SOURCE \"${CMAKE_CURRENT_LIST_DIR}/kivlog.desktop\")
  set(KIVLOG_DESKTOP_STAGING \"${CMAKE_CURRENT_BINARY_DIR}\")
  set(KIVLOG_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(KIVLOG_APPLICATIONS_DIR \"${CMAKE_INSTALL_DATADIR}/applications\")")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/DesktopEntry.cmake)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kivlog.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/kivlog-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME kivlog.png)
endforeach()
