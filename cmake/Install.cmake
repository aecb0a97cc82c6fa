# cmake --install: the programs and every data file in one folder, as the programs expect them
# beside themselves (${prefix}/lib/quorvel); the programs linked into ${prefix}/bin; the menu
# entries, icons, AppStream metadata, manual pages and shell completions where the desktop, man
# and the shells look for them. Two components, one package each: "cli" (quorvel-cli and the
# files it shares with the windows) and "gui" (both windows and their data).
# Beside the programs stands the installed-copy marker, so the files they write go to each
# user's own folders, root's included (settings/program_files.h); a copy installed under the
# installing user's home folder gets no marker and stays a private copy.

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(QV_INSTALL_DIR lib/quorvel CACHE STRING "Folder, under the install prefix, for the programs and their data files")

foreach(program quorvel quorvel-troubleshooter quorvel-cli quorvel-thumbnailer)
    if(TARGET ${program})
        if(program STREQUAL "quorvel-cli" OR program STREQUAL "quorvel-thumbnailer")
            set(component cli)
        else()
            set(component gui)
        endif()
        # As a target, so cmake --install --strip (and the package) strips it.
        install(TARGETS ${program} RUNTIME DESTINATION ${QV_INSTALL_DIR} COMPONENT ${component})
        # A relative link, so a DESTDIR or a moved prefix keeps working; the programs find
        # their folder through /proc/self/exe, which names the real file.
        install(CODE "
            set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
            file(MAKE_DIRECTORY \"\${bin}\")
            file(RELATIVE_PATH target \"\${CMAKE_INSTALL_PREFIX}/bin\"
                 \"\${CMAKE_INSTALL_PREFIX}/${QV_INSTALL_DIR}/${program}\")
            file(CREATE_LINK \"\${target}\" \"\${bin}/${program}\" SYMBOLIC)
            message(STATUS \"Linking: \${bin}/${program} -> \${target}\")" COMPONENT ${component})
    endif()
endforeach()

# The static files from the sources (never a never-move list edited in the build folder), the
# generated ones from the build folder. The CLI reads Quorvel.ini and the never-move list too.
install(FILES ${CMAKE_SOURCE_DIR}/data/Quorvel.ini ${CMAKE_SOURCE_DIR}/data/QuorvelDontMove.ini
        DESTINATION ${QV_INSTALL_DIR} COMPONENT cli)
install(CODE "
    set(home \"\$ENV{HOME}\")
    if(home STREQUAL \"\" OR NOT \"\${CMAKE_INSTALL_PREFIX}/\" MATCHES \"^\${home}/\")
        file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${QV_INSTALL_DIR}\" TYPE FILE
             PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
             FILES \"${CMAKE_SOURCE_DIR}/data/package/quorvel.installed\")
    endif()" COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/data/quorvel.png ${CMAKE_SOURCE_DIR}/data/quorvel.svg
              ${QV_DATA_DIR}/search.avi ${QV_DATA_DIR}/e.wav
        DESTINATION ${QV_INSTALL_DIR} COMPONENT gui)
install(FILES ${QV_DATA_DIR}/Quorvel3.chm DESTINATION ${QV_INSTALL_DIR} COMPONENT gui OPTIONAL)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/help/ DESTINATION ${QV_INSTALL_DIR}/help COMPONENT gui
        FILES_MATCHING PATTERN "*.html" PATTERN "*.css")

install(FILES ${CMAKE_SOURCE_DIR}/data/quorvel.desktop
              ${CMAKE_SOURCE_DIR}/data/quorvel-troubleshooter.desktop
        DESTINATION share/applications COMPONENT gui)
install(FILES ${CMAKE_SOURCE_DIR}/data/quorvel.svg ${CMAKE_SOURCE_DIR}/data/quorvel-troubleshooter.svg
        DESTINATION share/icons/hicolor/scalable/apps COMPONENT gui)
set(qv_package_dir ${CMAKE_BINARY_DIR}/package)
if(QV_RSVG_CONVERT)
    foreach(size ${QV_ICON_SIZES})
        install(FILES ${qv_package_dir}/icons/${size}x${size}/quorvel.png
                DESTINATION share/icons/hicolor/${size}x${size}/apps COMPONENT gui)
    endforeach()
else()
    install(FILES ${CMAKE_SOURCE_DIR}/data/quorvel.png DESTINATION share/icons/hicolor/128x128/apps
            COMPONENT gui)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/data/package/example.velmora.quorvel.metainfo.xml
        DESTINATION share/metainfo COMPONENT gui)
install(FILES ${qv_package_dir}/quorvel.1.gz ${qv_package_dir}/quorvel-troubleshooter.1.gz
        DESTINATION share/man/man1 COMPONENT gui)
install(FILES ${qv_package_dir}/quorvel-cli.1.gz DESTINATION share/man/man1 COMPONENT cli)

# File managers: the packages' types (by extension, and the package tag for the cache's GUID.uxx
# files), their icons, and the thumbnailer that gives maps and textures their pictures.
install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/quorvel.thumbnailer
        DESTINATION share/thumbnailers COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/quorvel-unreal-packages.xml
        DESTINATION share/mime/packages COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/application-x-unreal-package.svg
              ${CMAKE_SOURCE_DIR}/data/desktop/application-x-unreal-map.svg
        DESTINATION share/icons/hicolor/scalable/mimetypes COMPONENT cli)

# Where each shell looks for the completions of a command installed by a package.
install(FILES ${CMAKE_SOURCE_DIR}/data/completion/quorvel-cli.bash
        DESTINATION share/bash-completion/completions RENAME quorvel-cli COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/data/completion/_quorvel-cli
        DESTINATION share/zsh/vendor-completions COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/data/completion/quorvel-cli.fish
        DESTINATION share/fish/vendor_completions.d COMPONENT cli)

foreach(component cli gui)
    if(component STREQUAL "cli")
        set(doc share/doc/quorvel-cli)
    else()
        set(doc share/doc/quorvel)
    endif()
    install(FILES ${CMAKE_SOURCE_DIR}/data/package/copyright ${qv_package_dir}/changelog.gz
            DESTINATION ${doc} COMPONENT ${component})
endforeach()
