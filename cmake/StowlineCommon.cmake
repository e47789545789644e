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

# One static library per source folder; every .cpp in the folder belongs to it.
function(stowline_folder_library name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    if(sources)
        file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
        add_library(${name} STATIC ${sources} ${headers})
        target_link_libraries(${name} PUBLIC stowline_common ${ARGN})
    else()
        # A folder whose first source has not been written yet.
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE stowline_common ${ARGN})
    endif()
endfunction()
