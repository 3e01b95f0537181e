# Run-time assets the repository doesn't contain, made by the build:
# - models/: the default scene, written by the scene generator (tools/scenegen);
# - fonts/hobo.ttf: a freely licensed TrueType face from the system, copied
#   once when missing (the setup script installs fonts-dejavu-core).
set(SCENE_OBJ ${CMAKE_SOURCE_DIR}/models/sponza.obj)
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/scenegen/CMakeLists.txt)
    add_subdirectory(${CMAKE_SOURCE_DIR}/tools/scenegen ${CMAKE_BINARY_DIR}/scenegen)
    add_custom_command(
        OUTPUT ${SCENE_OBJ}
        COMMAND scenegen ${CMAKE_SOURCE_DIR}/models
        DEPENDS scenegen
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        COMMENT "Generating the default scene in models/"
        VERBATIM)
else()
    set(SCENE_OBJ "")
endif()

set(SYSTEM_FONT /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf)
set(RUNTIME_FONT ${CMAKE_SOURCE_DIR}/fonts/hobo.ttf)
add_custom_command(
    OUTPUT ${RUNTIME_FONT}
    COMMAND ${CMAKE_COMMAND} -E copy ${SYSTEM_FONT} ${RUNTIME_FONT}
    COMMENT "Installing fonts/hobo.ttf from ${SYSTEM_FONT}"
    VERBATIM)

add_custom_target(assets ALL DEPENDS ${SCENE_OBJ} ${RUNTIME_FONT})
add_dependencies(vesperon assets)
