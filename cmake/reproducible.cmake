# What a package holds keeps no time of its build. The programs hold none (see
# resources/CMakeLists.txt); with SOURCE_DATE_EPOCH set (the build scripts take it from the
# commit), CPack stamps the files and members of the .deb and the zip with it. Installed files
# keep the times of the files they were copied from, which makensis puts into the installer: once
# everything else is installed, the files this install put in place (under DESTDIR, where CPack
# puts them) get SOURCE_DATE_EPOCH as their time. Included by the top-level CMakeLists.txt after
# every other install rule.

# The folders CPack makes for a package have the usual permissions, whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(CODE [[
    if(DEFINED ENV{SOURCE_DATE_EPOCH} AND CMAKE_HOST_UNIX AND CMAKE_INSTALL_MANIFEST_FILES)
        set(vornel_installed)
        foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
            list(APPEND vornel_installed "$ENV{DESTDIR}${file}")
        endforeach()
        execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" ${vornel_installed}
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()
]])
