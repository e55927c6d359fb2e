# Packs for the tests are written with the pack tool's library.
target_link_libraries(${target} PRIVATE zorblet_tools)

# The scene in a real window: a program of its own (not part of zorblet) on
# the sample data, run by a script under a virtual X server and compared with
# the same frames on the headless backend; the screenshots stay in
# build/<preset>/tests/scene_shots. Skipped where Xvfb is absent.
add_executable(scene_window ${CMAKE_CURRENT_SOURCE_DIR}/background/scene/SceneWindow.cpp)
target_link_libraries(scene_window PRIVATE zorblet_testsupport zorblet_tools ${ZORBLET_ALL_LIBS})
add_dependencies(scene_window sample)
add_test(NAME background_scene_xvfb
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/background/scene_xvfb.sh $<TARGET_FILE:scene_window>
                 ${ZORBLET_SAMPLE_DIR}/800x600 ${CMAKE_CURRENT_BINARY_DIR}/scene_shots)
set_tests_properties(background_scene_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180
                     RESOURCE_LOCK xvfb)
