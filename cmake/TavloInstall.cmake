# What `cmake --install` puts on a machine, and the Debian package CPack makes of it:
#   bin/tavlo, bin/tavlo-engine      the workbench and the engine's command-line tool
#   lib/tavlo/libtavlo.so            the engine library, in a private folder: the workbench looks
#                                    for it in ../lib/tavlo relative to its own folder
#   share/tavlo/samples, share/doc/tavlo, the desktop entry, MIME types, icons, AppStream
#   metainfo and the manual pages.
# The workbench and the tool are found in bin/ by that relative path, so these folders are fixed
# rather than taken from GNUInstallDirs (whose LIBDIR is multiarch on Debian).

set(TAVLO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS tavlo tavlo-engine RUNTIME DESTINATION bin)
install(TARGETS tavlo_engine LIBRARY DESTINATION lib/tavlo RUNTIME DESTINATION bin)

# Only the inputs: a run of the samples in the source tree leaves its outputs beside them.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/samples/ DESTINATION share/tavlo/samples
    FILES_MATCHING PATTERN "*.iob" PATTERN "*.cfg")
install(FILES ${CMAKE_SOURCE_DIR}/docs/engine.md DESTINATION share/doc/tavlo)

if(UNIX AND NOT APPLE)
    install(FILES ${TAVLO_PACKAGING_DIR}/fr.tavlo.Tavlo.desktop DESTINATION share/applications)
    install(FILES ${TAVLO_PACKAGING_DIR}/fr.tavlo.Tavlo.xml DESTINATION share/mime/packages)
    install(FILES ${TAVLO_PACKAGING_DIR}/fr.tavlo.Tavlo.metainfo.xml DESTINATION share/metainfo)
    foreach(size 16 32 48 64 128 256)
        install(FILES ${TAVLO_PACKAGING_DIR}/icons/tavlo-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME tavlo.png)
    endforeach()

    # Manual pages go gzipped, without a time stamp, so that the package is reproducible.
    set(manpages)
    foreach(page tavlo.1 tavlo-engine.1)
        set(gzipped ${CMAKE_BINARY_DIR}/man/${page}.gz)
        add_custom_command(OUTPUT ${gzipped}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND gzip -9nc ${TAVLO_PACKAGING_DIR}/man/${page} > ${gzipped}
            DEPENDS ${TAVLO_PACKAGING_DIR}/man/${page}
            VERBATIM)
        list(APPEND manpages ${gzipped})
    endforeach()
    add_custom_target(tavlo_manpages ALL DEPENDS ${manpages})
    install(FILES ${manpages} DESTINATION share/man/man1)
endif()

# The Debian package: `make package`, or `cmake --build build --target package` after a build.
# Installing and packing take the build as it is instead of first bringing every test program up
# to date, so that packing is cheap enough for the test suite.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavlo)
set(CPACK_PACKAGE_VENDOR "Laboratoire Brevil de géodésie et de topométrie, Lumo")
set(CPACK_PACKAGE_CONTACT "Tavlo <tavlo@tavlo.fr>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "least-squares adjustment of topographic and geodetic survey networks")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tavlo is a desktop workbench (French interface) for the least-squares adjustment of survey
networks: it edits fixed-column observation files and processing configurations, runs the
adjustment engine over them and shows its report, the residuals with their graphs, and a plan
of the adjusted network with its confidence ellipses and reliability rectangles. The engine
also runs on the command line (tavlo-engine).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.tavlo.fr/)
# The shared libraries the programs link, by package name (dpkg-shlibdeps, from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts in French; the workbench runs in English buttons without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qttranslations5-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
