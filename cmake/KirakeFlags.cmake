# The compiler settings every build of the game shares: the desktop and Windows builds (the top
# CMakeLists.txt) and the browser build (web/CMakeLists.txt) include this file before they add src/.
# The flags of single files (the pixel loops at -O3; the mixer's files without fused multiply-adds, so
# that it computes the same samples everywhere) are set beside their library in
# src/platform/CMakeLists.txt, which every build adds too.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
