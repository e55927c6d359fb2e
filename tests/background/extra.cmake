# The scene in a real window: a program of its own (not part of zorblet),
# run by a script under a virtual X server and compared with the same frames
# on the headless backend. Skipped where Xvfb is absent.
add_executable(scene_window ${CMAKE_CURRENT_SOURCE_DIR}/background/scene/SceneWindow.cpp)
target_link_libraries(scene_window PRIVATE zorblet_testsupport ${ZORBLET_ALL_LIBS})
add_test(NAME background_scene_xvfb
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/background/scene_xvfb.sh $<TARGET_FILE:scene_window>)
set_tests_properties(background_scene_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
