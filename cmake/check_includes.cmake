# Fails when a source of FOLDER includes a header of a project folder outside ALLOWED, or asks which
# system it is built for (the systems differ only inside runtime/); touches STAMP otherwise; with
# REFUSED set (a folder such as "runtime/ui"), an include of a header under it fails too.
# With PREFIX set (runtime), FOLDER is a part of that folder: PROJECT_FOLDERS and ALLOWED then name its
# parts, an include of PREFIX/<part>/ is checked against them, an include of any of OUTSIDE fails (the
# runtime knows nothing of the application), and asking for the system is its own business.
# With FACADES set (headers as included, such as runtime/database/transaction.h), a source of FOLDER
# that includes one of them fails unless it is the facade's own header or source: the files beside
# a facade are its parts, which report to it and never reach back up.
# Run as: cmake -DFOLDER=<dir> -DALLOWED=<a;b;...> -DPROJECT_FOLDERS=<a;b;...> [-DREFUSED=<dir>]
# [-DPREFIX=<folder> -DOUTSIDE=<a;b;...>] [-DFACADES=<a;b;...>] -DSTAMP=<file> -P check_includes.cmake
cmake_minimum_required(VERSION 3.25)
file(GLOB sources "${FOLDER}/*.h" "${FOLDER}/*.cpp")
set(refused "")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
        if(PREFIX)
            if(folder IN_LIST OUTSIDE)
                string(APPEND refused "\n  ${source}: ${line} (${PREFIX}/ knows nothing of ${folder}/)")
                continue()
            elseif(NOT folder STREQUAL PREFIX)
                continue()
            endif()
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/([^\"/]+)/.*$" "\\1" folder "${line}")
        endif()
        if(folder IN_LIST PROJECT_FOLDERS AND NOT folder IN_LIST ALLOWED)
            string(APPEND refused "\n  ${source}: ${line}")
        endif()
    endforeach()
    if(PREFIX)
        continue()
    endif()
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
set(reaching "")
foreach(facade IN LISTS FACADES)
    get_filename_component(stem "${facade}" NAME_WE)
    string(REPLACE "." "\\." pattern "${facade}")
    foreach(source IN LISTS sources)
        get_filename_component(name "${source}" NAME_WE)
        if(name STREQUAL stem)
            continue()
        endif()
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"${pattern}\"")
        foreach(line IN LISTS includes)
            string(APPEND reaching "\n  ${source}: ${line}")
        endforeach()
    endforeach()
endforeach()
if(reaching)
    message(FATAL_ERROR "A part of a facade includes the facade's header; only the facade's own source "
                        "may (its parts report to it, and it alone sets what its callers read):${reaching}")
endif()
if(refused)
    list(REMOVE_ITEM ALLOWED "")
    list(JOIN ALLOWED ", " allowed)
    if(PREFIX)
        message(FATAL_ERROR "A part of ${PREFIX}/ includes a header of a part it may not use (it may use "
                            "${allowed}):${refused}")
    endif()
    message(FATAL_ERROR "A folder includes a header of a folder it may not use (it may use ${allowed}, "
                        "runtime and schema), or tests the system it is built for:${refused}")
endif()
file(TOUCH "${STAMP}")
