# The desktop's menu entry and icon, beside the binary that app/CMakeLists.txt installs.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kivlog.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kivlog.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
