# The SDL backend's tests push native events through SDL itself.
target_link_libraries(${target} PRIVATE PkgConfig::SDL2)
