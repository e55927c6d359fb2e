# Packs are written by the pack tool's writer; the start-up test runs the real
# program.
target_link_libraries(${target} PRIVATE zorblet_tools)
add_dependencies(${target} zorblet)
target_compile_definitions(${target} PRIVATE ZORBLET_BINARY="$<TARGET_FILE:zorblet>")
