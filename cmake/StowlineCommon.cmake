# Settings every target shares: language level, strict Qt string handling, warnings.
add_library(stowline_common INTERFACE)
target_compile_features(stowline_common INTERFACE cxx_std_20)
target_compile_definitions(stowline_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_USE_QSTRINGBUILDER
    QT_NO_CONTEXTLESS_CONNECT
    STOWLINE_WEB_HOST="${STOWLINE_WEB_HOST}"
    STOWLINE_SUPPORT_MAIL="${STOWLINE_SUPPORT_MAIL}"
    STOWLINE_BUG_MAIL="${STOWLINE_BUG_MAIL}"
    STOWLINE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    STOWLINE_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    STOWLINE_VERSION_REVISION=${PROJECT_VERSION_PATCH})
target_compile_options(stowline_common INTERFACE -Wall -Wextra -Wold-style-cast)
target_include_directories(stowline_common INTERFACE ${PROJECT_SOURCE_DIR})

# One static library per source folder: every .cpp in the folder unless SOURCES names them, linked
# PUBLIC where its headers need the library and PRIVATE where only its sources do. An ENGINE library
# cannot include a widget: cmake/engine-guard holds a QtWidgets header that stops the build; nor,
# unless it is the library that OWNS_DIALOGS, the dialogs service (cmake/engine-guard-dialogs).
function(stowline_folder_library name)
    cmake_parse_arguments(L "ENGINE;OWNS_DIALOGS" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    list(APPEND L_PUBLIC ${L_UNPARSED_ARGUMENTS}) # libraries named before PUBLIC/PRIVATE existed
    if(L_SOURCES)
        set(sources ${L_SOURCES})
    else()
        file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    endif()
    set(cpp ${sources})
    list(FILTER cpp INCLUDE REGEX "\\.cpp$")
    if(NOT cpp)
        # A folder whose first source has not been written yet.
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE stowline_common ${L_PUBLIC})
        return()
    endif()
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC stowline_common ${L_PUBLIC} PRIVATE ${L_PRIVATE})
    if(L_ENGINE)
        target_include_directories(${name} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/engine-guard)
        if(NOT L_OWNS_DIALOGS)
            target_include_directories(${name} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/engine-guard-dialogs)
        endif()
    endif()
endfunction()
