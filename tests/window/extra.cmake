# The canvas test reads .bmp files back with SDL's own loader.
target_link_libraries(${target} PRIVATE PkgConfig::SDL2)

# The real program under a virtual X server; skipped where Xvfb is absent.
add_dependencies(${target} zorblet sample)
add_test(NAME window_e2e_xvfb COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window/e2e_xvfb.sh $<TARGET_FILE:zorblet>
         ${ZORBLET_SAMPLE_DIR})
set_tests_properties(window_e2e_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
                     RESOURCE_LOCK xvfb)

# The game window starts on a pack that the pack writer makes.
target_link_libraries(${target} PRIVATE zorblet_tools)

# The real program where things go wrong: no display, the display lost, no lock, signals.
add_test(NAME window_e2e_hostile COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window/e2e_hostile.sh
         $<TARGET_FILE:zorblet> ${ZORBLET_SAMPLE_DIR})
set_tests_properties(window_e2e_hostile PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
                     RESOURCE_LOCK xvfb)
# The entry test starts the real program where writes fail.
target_compile_definitions(${target} PRIVATE ZORBLET_BINARY="$<TARGET_FILE:zorblet>")
