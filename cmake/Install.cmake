# cmake --install: the programs and every data file in one folder, as the programs expect them
# beside themselves (${prefix}/lib/quorvel); the programs linked into ${prefix}/bin; the menu
# entries, icons, AppStream metadata and manual pages where the desktop and man look for them.
# An installed copy in a folder its users cannot write keeps the files it writes in their own
# folders (settings/program_files.h).

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(QV_INSTALL_DIR lib/quorvel CACHE STRING "Folder, under the install prefix, for the programs and their data files")

foreach(program quorvel quorvel-troubleshooter quorvel-cli)
    if(TARGET ${program})
        # As a target, so cmake --install --strip (and the package) strips it.
        install(TARGETS ${program} RUNTIME DESTINATION ${QV_INSTALL_DIR})
        # A relative link, so a DESTDIR or a moved prefix keeps working; the programs find
        # their folder through /proc/self/exe, which names the real file.
        install(CODE "
            set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
            file(MAKE_DIRECTORY \"\${bin}\")
            file(RELATIVE_PATH target \"\${CMAKE_INSTALL_PREFIX}/bin\"
                 \"\${CMAKE_INSTALL_PREFIX}/${QV_INSTALL_DIR}/${program}\")
            file(CREATE_LINK \"\${target}\" \"\${bin}/${program}\" SYMBOLIC)
            message(STATUS \"Linking: \${bin}/${program} -> \${target}\")")
    endif()
endforeach()

# The static files from the sources (never a never-move list edited in the build folder), the
# generated ones from the build folder.
install(FILES ${CMAKE_SOURCE_DIR}/data/Quorvel.ini ${CMAKE_SOURCE_DIR}/data/QuorvelDontMove.ini
              ${CMAKE_SOURCE_DIR}/data/quorvel.png ${CMAKE_SOURCE_DIR}/data/quorvel.svg
              ${QV_DATA_DIR}/search.avi ${QV_DATA_DIR}/e.wav
        DESTINATION ${QV_INSTALL_DIR})
install(FILES ${QV_DATA_DIR}/Quorvel3.chm DESTINATION ${QV_INSTALL_DIR} OPTIONAL)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/help/ DESTINATION ${QV_INSTALL_DIR}/help
        FILES_MATCHING PATTERN "*.html" PATTERN "*.css")

install(FILES ${CMAKE_SOURCE_DIR}/data/quorvel.desktop
              ${CMAKE_SOURCE_DIR}/data/quorvel-troubleshooter.desktop
        DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/quorvel.svg ${CMAKE_SOURCE_DIR}/data/quorvel-troubleshooter.svg
        DESTINATION share/icons/hicolor/scalable/apps)
set(qv_package_dir ${CMAKE_BINARY_DIR}/package)
if(QV_RSVG_CONVERT)
    foreach(size ${QV_ICON_SIZES})
        install(FILES ${qv_package_dir}/icons/${size}x${size}/quorvel.png
                DESTINATION share/icons/hicolor/${size}x${size}/apps)
    endforeach()
else()
    install(FILES ${CMAKE_SOURCE_DIR}/data/quorvel.png DESTINATION share/icons/hicolor/128x128/apps)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/data/package/example.velmora.quorvel.metainfo.xml
        DESTINATION share/metainfo)
install(FILES ${qv_package_dir}/quorvel.1.gz ${qv_package_dir}/quorvel-cli.1.gz
              ${qv_package_dir}/quorvel-troubleshooter.1.gz
        DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/data/package/copyright ${qv_package_dir}/changelog.gz
        DESTINATION share/doc/quorvel)
