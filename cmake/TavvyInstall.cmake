# cmake --install: the program, its data set, the desktop entry, the icons, the AppStream
# metainfo and the man page, in the usual places under the prefix. The installed program
# finds its data in <prefix>/share/tavvyhop/ when there is no Data/ beside it.
include(GNUInstallDirs)

install(TARGETS tavvyhop RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TAVVY_ASSETS)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/Data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tavvyhop)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/dist/org.tavvyhop.Tavvyhop.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/dist/org.tavvyhop.Tavvyhop.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/dist/tavvyhop.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
foreach(size 256 48)
  install(FILES ${CMAKE_BINARY_DIR}/icons/tavvyhop-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tavvyhop.png)
endforeach()
