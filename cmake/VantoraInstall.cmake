# What `cmake --install` lays out and CPack packs as a .deb:
#   bin/vantora                                   the wizard
#   lib/<multiarch>/vantora/lib{morvix,quillon,zephrel,vantora_automation}.so
#                                                 private libraries: their C++ faces pass standard-library
#                                                 types and are not a stable ABI, so they ship without
#                                                 headers or a soname promise, found through a relative
#                                                 run path ($ORIGIN) wherever the tree is unpacked
#   share/applications/vantora.desktop, share/metainfo/vantora.metainfo.xml
#   share/icons/hicolor/{scalable,NxN}/apps/vantora.{svg,png}
#   share/vantora/Background/background_default_{PAL,NTSC}.png
#   share/man/man1/vantora.1.gz, share/doc/vantora/{copyright,changelog.gz}
# The build tree holds the same share/vantora beside wizard/, so the program
# finds its resources the same way ($exe/../share/vantora) in both.
if(NOT VANTORA_GUI OR VANTORA_FUZZ OR VANTORA_THREADS_ONLY)
  return()
endif()

set(VANTORA_DATA ${CMAKE_SOURCE_DIR}/wizard/data)
set(VANTORA_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/vantora)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)

# Pictures rendered from their SVG sources, and the compressed documents.
set(generated "")
set(icon_sizes 16 24 32 48 64 128 256)
foreach(size IN LISTS icon_sizes)
  set(png ${CMAKE_BINARY_DIR}/share/icons/hicolor/${size}x${size}/apps/vantora.png)
  add_custom_command(OUTPUT ${png}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/icons/hicolor/${size}x${size}/apps
                     COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${VANTORA_DATA}/vantora.svg
                     DEPENDS ${VANTORA_DATA}/vantora.svg VERBATIM)
  list(APPEND generated ${png})
endforeach()
set(VANTORA_BACKGROUND_DIR ${CMAKE_BINARY_DIR}/share/vantora/Background)
foreach(system PAL NTSC)
  string(TOLOWER ${system} lower)
  set(png ${VANTORA_BACKGROUND_DIR}/background_default_${system}.png)
  add_custom_command(OUTPUT ${png}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTORA_BACKGROUND_DIR}
                     COMMAND ${RSVG_CONVERT} -o ${png} ${VANTORA_DATA}/background_${lower}.svg
                     DEPENDS ${VANTORA_DATA}/background_${lower}.svg VERBATIM)
  list(APPEND generated ${png})
endforeach()
foreach(doc vantora.1 changelog)
  set(gz ${CMAKE_BINARY_DIR}/share/doc-gz/${doc}.gz)
  add_custom_command(OUTPUT ${gz}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/doc-gz
                     COMMAND sh -c "${GZIP} -9n < \"$1\" > \"$2\"" sh ${VANTORA_DATA}/${doc} ${gz}
                     DEPENDS ${VANTORA_DATA}/${doc} VERBATIM)
  list(APPEND generated ${gz})
endforeach()
add_custom_target(vantora_data ALL DEPENDS ${generated})
# The window's tests draw on the shipped pictures too.
foreach(target vantora vantora_widgets_tests vantora_form_tests vantora_form_e2e_tests)
  if(TARGET ${target})
    add_dependencies(${target} vantora_data)
  endif()
endforeach()

# The program finds its libraries beside it in the install tree; the build
# tree keeps CMake's own run paths.
set_target_properties(vantora PROPERTIES INSTALL_RPATH "$ORIGIN/../${VANTORA_PRIVATE_LIBDIR}")
set_target_properties(morvix quillon zephrel platform_automation PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS vantora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS morvix quillon zephrel platform_automation LIBRARY DESTINATION ${VANTORA_PRIVATE_LIBDIR})

install(FILES ${VANTORA_DATA}/vantora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VANTORA_DATA}/vantora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VANTORA_DATA}/vantora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS icon_sizes)
  install(FILES ${CMAKE_BINARY_DIR}/share/icons/hicolor/${size}x${size}/apps/vantora.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(DIRECTORY ${VANTORA_BACKGROUND_DIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/vantora)
install(FILES ${CMAKE_BINARY_DIR}/share/doc-gz/vantora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VANTORA_DATA}/copyright ${CMAKE_BINARY_DIR}/share/doc-gz/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantora)

# The .deb: the libraries' own packages come from dpkg-shlibdeps; the
# programs run as children, the Qt display plugins and the MP3 encoder loaded
# at run time are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantora)
set(CPACK_PACKAGE_VENDOR "The Vantora developers")
# No maintainer address has been chosen yet; a packager names one here.
set(VANTORA_MAINTAINER "The Vantora developers" CACHE STRING "the .deb's Maintainer: Name <address>")
set(CPACK_PACKAGE_CONTACT ${VANTORA_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wizard that turns video files into a DVD-Video disc")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantora converts video files to DVD MPEG-2, draws a title menu, authors the\nVIDEO_TS folder and burns it \
onto a DVD, or saves it as an ISO image or a\nVIDEO_TS folder.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/authoring_engine ${CMAKE_BINARY_DIR}/authoring_control
    ${CMAKE_BINARY_DIR}/disc_engine ${CMAKE_BINARY_DIR}/platform/automation)
# The menu page draws with Liberation Sans and falls back on the CJK and emoji fonts.
set(VANTORA_DEB_DEPENDS "ffmpeg, qt6-qpa-plugins, fonts-liberation2, fonts-noto-cjk, fonts-noto-color-emoji")
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${VANTORA_DEB_DEPENDS})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libmp3lame0")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
