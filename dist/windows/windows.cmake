# The program on Windows: cmake --install lays out the program folder at the prefix (the program,
# its DLLs, the pictures, the help, the template); tools/windows/package adds the libraries and
# the toolkit's plugins it needs and packs that folder as the installer and a portable zip.

# A window program (no console), entered through the toolkit's WinMain, which Qt6::Core brings to a
# window program that links it.
set_target_properties(tallowmere PROPERTIES WIN32_EXECUTABLE ON)
find_package(Qt6 REQUIRED COMPONENTS Core Gui)
target_link_libraries(tallowmere PRIVATE Qt6::Core)

# The icon is the splash's wreath, as on Linux, in one icon file of every size Windows shows.
add_executable(make_icon make_icon.cpp)
target_link_libraries(make_icon PRIVATE Qt6::Gui)
set(program_folder "$<TARGET_FILE_DIR:tallowmere>")
set(LAUREL_ICON "${CMAKE_CURRENT_BINARY_DIR}/icons/laurel.ico")
set(LAUREL_MANIFEST "${CMAKE_CURRENT_SOURCE_DIR}/windows/tallowmere.manifest")
add_custom_command(
    OUTPUT "${LAUREL_ICON}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/icons"
    COMMAND make_icon "${program_folder}/tallowmere.gif" "${CMAKE_CURRENT_BINARY_DIR}/icons" 16 24 32 48 64 256
            --ico laurel.ico
    DEPENDS make_icon laurel_images
    VERBATIM)
add_custom_target(laurel_icon DEPENDS "${LAUREL_ICON}")
configure_file(windows/tallowmere.rc.in "${CMAKE_CURRENT_BINARY_DIR}/tallowmere.rc" @ONLY)
target_sources(tallowmere PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/tallowmere.rc")
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/tallowmere.rc" DIRECTORY "${PROJECT_SOURCE_DIR}/app"
                            PROPERTIES OBJECT_DEPENDS "${LAUREL_ICON};${LAUREL_MANIFEST}")
add_dependencies(tallowmere laurel_icon)

set(LAUREL_LIBRARIES ${LAUREL_RUNTIME_LIBRARIES} laurel_schema)
foreach(folder IN LISTS LAUREL_APPLICATION_FOLDERS)
    list(APPEND LAUREL_LIBRARIES laurel_${folder})
endforeach()
install(TARGETS tallowmere ${LAUREL_LIBRARIES} RUNTIME DESTINATION .)
install(FILES "${program_folder}/tallowmere.gif" "${program_folder}/angle.gif"
              "${program_folder}/tallowmereabout.gif" "${program_folder}/txsm.html"
        DESTINATION .)
install(FILES "${program_folder}/model/m_model2.docx" DESTINATION model)
install(FILES "${LAUREL_ICON}" DESTINATION .)

# The version of the changelog's latest entry, for the installer's name.
file(STRINGS changelog heading LIMIT_COUNT 1)
string(REGEX REPLACE "^laurel \\(([^)]+)\\).*" "\\1" LAUREL_VERSION "${heading}")
file(WRITE "${PROJECT_BINARY_DIR}/version.txt" "${LAUREL_VERSION}\n")
