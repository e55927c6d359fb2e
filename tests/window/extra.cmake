# The canvas test reads .bmp files back with SDL's own loader.
target_link_libraries(${target} PRIVATE PkgConfig::SDL2)
