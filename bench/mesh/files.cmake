# Benchmark of the grid import (Release builds only, like every benchmark).
add_executable(bench_grid_import ${CMAKE_CURRENT_LIST_DIR}/bench_grid_import.cpp)
target_link_libraries(bench_grid_import PRIVATE torvu_mesh benchmark::benchmark)
