# What a package holds keeps no time of its build. The programs hold none (see
# resources/CMakeLists.txt); with SOURCE_DATE_EPOCH set (the build scripts take it from the
# commit), CPack stamps the members of the .deb and the zip with it. The staged files and folders
# keep the times they were installed with, which makensis puts into the installer: once CPack has
# staged them, cmake/staged-times.cmake gives them SOURCE_DATE_EPOCH as their time. Included by
# the top-level CMakeLists.txt before CPack.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/staged-times.cmake)

# The folders CPack makes for a package have the usual permissions, whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
