# What a Windows user gets: the program's folder (vornel.exe, the Qt libraries and plug-ins it
# loads, the compiler's run-time libraries), as a zip and as an installer made with NSIS:
#   cmake --install <build> --prefix <folder>      the folder
#   cpack -G "ZIP;NSIS" in <build>                 vornel-<version>-win64.zip and .exe
# Included by the top-level CMakeLists.txt on Windows, before CPack.

# The Qt libraries the program links, and the plug-ins Qt loads at run time: the window system,
# the native style, and JPEG for the splash and About pictures (without it they are silently
# missing).
install(FILES
    $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
    $<TARGET_FILE:Qt6::SerialPort>
    DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(plugin platforms:QWindowsIntegrationPlugin styles:QModernWindowsStylePlugin
               imageformats:QJpegPlugin)
    string(REPLACE ":" ";" plugin "${plugin}")
    list(GET plugin 0 folder)
    list(GET plugin 1 target)
    if(NOT TARGET Qt6::${target})
        message(FATAL_ERROR "This Qt has no ${target} plug-in, which the program needs")
    endif()
    install(FILES $<TARGET_FILE:Qt6::${target}> DESTINATION ${CMAKE_INSTALL_BINDIR}/${folder})
endforeach()

# MinGW's run-time libraries, those the program and Qt were built with, stripped of their
# symbols (libstdc++ alone would be 23 MB). strip stamps what it writes with the time it ran, and a
# checksum over it: each library keeps its own time instead, and no checksum (Windows checks none
# of a program's libraries), so that every build ships the same bytes.
# The offset of a PE file's COFF header: its "PE\0\0" signature is where the DOS header's last
# field says.
function(vornel_pe_header file out)
    file(READ ${file} bytes OFFSET 60 LIMIT 4 HEX)
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
    math(EXPR offset "0x${bytes} + 4")
    set(${out} ${offset} PARENT_SCOPE)
endfunction()
# Gives `stripped` the time stamp of `original`, and a checksum of 0 (64-bit PE files).
function(vornel_keep_pe_time original stripped)
    vornel_pe_header(${original} from)
    vornel_pe_header(${stripped} to)
    math(EXPR from "${from} + 4")
    math(EXPR time "${to} + 4")
    math(EXPR checksum "${to} + 20 + 64")
    execute_process(
        COMMAND dd if=${original} of=${stripped} bs=1 skip=${from} seek=${time} count=4 conv=notrunc
        COMMAND_ERROR_IS_FATAL ANY ERROR_QUIET)
    execute_process(
        COMMAND dd if=/dev/zero of=${stripped} bs=1 seek=${checksum} count=4 conv=notrunc
        COMMAND_ERROR_IS_FATAL ANY ERROR_QUIET)
endfunction()
if(MINGW)
    foreach(library libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
            OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
            message(FATAL_ERROR "The compiler does not know where ${library} is")
        endif()
        set(stripped ${PROJECT_BINARY_DIR}/mingw-runtime/${library})
        file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/mingw-runtime)
        execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${stripped} ${found}
            COMMAND_ERROR_IS_FATAL ANY)
        if(CMAKE_HOST_UNIX)
            vornel_keep_pe_time(${found} ${stripped})
        endif()
        install(FILES ${stripped} DESTINATION ${CMAKE_INSTALL_BINDIR})
    endforeach()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME LICENSE.txt)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_FILE_NAME vornel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Vornel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Vornel)
# The Start menu's folder and entry, which starts the program where it is installed.
set(CPACK_PACKAGE_EXECUTABLES vornel Vornel)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_NSIS_DISPLAY_NAME Vornel)
# The installer's title and its Start menu folder.
set(CPACK_NSIS_PACKAGE_NAME Vornel)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/windows/vornel.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/windows/vornel.ico)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME vornel.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")

# CPack's own installer script, with the changes below: a 64-bit installer, as the program is
# (NSIS makes 32-bit ones unless told), and one that installs as most installers do.
set(vornel_nsis_template ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in)
file(READ ${vornel_nsis_template} template)
function(vornel_change_nsis from to)
    string(FIND "${template}" "${from}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${vornel_nsis_template} has no \"${from}\" to change")
    endif()
    string(REPLACE "${from}" "${to}" changed "${template}")
    set(template "${changed}" PARENT_SCOPE)
endfunction()
set(vornel_uninstall_key
    [=[Software\Microsoft\Windows\CurrentVersion\Uninstall\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@]=])
vornel_change_nsis("  SetCompressor " "  Target amd64-unicode\n  SetCompressor ")
# For all users (in Program Files) when run by an administrator; for the user alone (in the
# user's own programs folder, without asking for rights) otherwise, or when given /CurrentUser.
vornel_change_nsis("RequestExecutionLevel admin" "RequestExecutionLevel highest")
vornel_change_nsis([=[$DOCUMENTS\@CPACK_PACKAGE_INSTALL_DIRECTORY@]=]
                   [=[$LOCALAPPDATA\Programs\@CPACK_PACKAGE_INSTALL_DIRECTORY@]=])
vornel_change_nsis("  !include Sections.nsh" "  !include Sections.nsh\n  !include FileFunc.nsh")
vornel_change_nsis("  done:\n  StrCmp $SV_ALLUSERS" [=[  done:
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CurrentUser" $R1
  IfErrors +3
    SetShellVarContext current
    StrCpy $SV_ALLUSERS "JustMe"
  StrCmp $SV_ALLUSERS]=])
# An earlier version is uninstalled first, whether it was installed for all users or for this one,
# and the new one goes where it was, unless /D says otherwise.
vornel_change_nsis("ReadRegStr $0 HKLM \"${vornel_uninstall_key}\" \"UninstallString\"\n"
    "ReadRegStr $0 HKLM \"${vornel_uninstall_key}\" \"UninstallString\"
  StrCmp $0 \"\" 0 +2
    ReadRegStr $0 HKCU \"${vornel_uninstall_key}\" \"UninstallString\"\n")
vornel_change_nsis("  ExecWait '\"$0\" /S _?=$3' ;Do not copy the uninstaller to a temp file\n"
    "  ExecWait '\"$0\" /S _?=$3'
  StrCmp \"$INSTDIR\" \"@CPACK_NSIS_INSTALL_ROOT@\\@CPACK_PACKAGE_INSTALL_DIRECTORY@\" 0 +2
    StrCpy $INSTDIR $3\n")
# Apps & features shows the installed folder's size, recorded in KB.
vornel_change_nsis("  Push \"DisplayName\"\n" "  \${GetSize} \"$INSTDIR\" \"/S=0K\" $0 $1 $2
  IntFmt $0 \"0x%08X\" $0
  WriteRegDWORD SHCTX \"${vornel_uninstall_key}\" \"EstimatedSize\" \"$0\"
  Push \"DisplayName\"\n")
# The uninstaller removes what its own install made (this user's entries, or all users'), and the
# maker's key with the last of its programs.
vornel_change_nsis("  done:\n\nFunctionEnd" "  done:
  ReadRegStr $0 HKCU \"${vornel_uninstall_key}\" \"UninstallString\"
  StrCmp $0 '\"$INSTDIR\\@CPACK_NSIS_UNINSTALL_NAME@.exe\"' 0 +2
    SetShellVarContext current

FunctionEnd")
vornel_change_nsis(
    [=[  DeleteRegKey /ifempty SHCTX "Software\@CPACK_PACKAGE_VENDOR@\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@"]=]
    [=[  DeleteRegKey /ifempty SHCTX "Software\@CPACK_PACKAGE_VENDOR@\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@"
  DeleteRegKey /ifempty SHCTX "Software\@CPACK_PACKAGE_VENDOR@"]=])
file(WRITE ${PROJECT_BINARY_DIR}/cpack-nsis/NSIS.template.in "${template}")
set(CPACK_MODULE_PATH ${PROJECT_BINARY_DIR}/cpack-nsis)
