# Fails when a source of FOLDER includes a header of a project folder outside ALLOWED, or asks which
# system it is built for (the systems differ only inside runtime/); touches STAMP otherwise; with
# REFUSED set (a folder such as "runtime/ui"), an include of a header under it fails too.
# Run as: cmake -DFOLDER=<dir> -DALLOWED=<a;b;...> -DPROJECT_FOLDERS=<a;b;...> [-DREFUSED=<dir>]
# -DSTAMP=<file> -P check_includes.cmake
cmake_minimum_required(VERSION 3.25)
file(GLOB sources "${FOLDER}/*.h" "${FOLDER}/*.cpp")
set(refused "")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
        if(folder IN_LIST PROJECT_FOLDERS AND NOT folder IN_LIST ALLOWED)
            string(APPEND refused "\n  ${source}: ${line}")
        endif()
    endforeach()
    # The macros by which a compiler names the system or itself.
    file(STRINGS "${source}" platform
         REGEX "^[ \t]*#[ \t]*(if|ifdef|ifndef|elif)[ \t(!].*(_WIN32|_WIN64|WIN32|__MINGW|_MSC_VER|__CYGWIN__|__linux|__unix|__APPLE__|__gnu_linux__)")
    foreach(line IN LISTS platform)
        string(APPEND refused "\n  ${source}: ${line} (the systems differ only inside runtime/)")
    endforeach()
    if(REFUSED)
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"${REFUSED}/")
        foreach(line IN LISTS includes)
            string(APPEND refused "\n  ${source}: ${line} (this folder works without ${REFUSED})")
        endforeach()
    endif()
endforeach()
if(refused)
    list(REMOVE_ITEM ALLOWED "")
    list(JOIN ALLOWED ", " allowed)
    message(FATAL_ERROR "A folder includes a header of a folder it may not use (it may use ${allowed}, "
                        "runtime and schema), or tests the system it is built for:${refused}")
endif()
file(TOUCH "${STAMP}")
