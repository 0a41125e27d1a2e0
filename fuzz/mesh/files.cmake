# Fuzz targets of the terrain file readers.
foreach(_target fuzz_grid fuzz_tiles fuzz_tbp)
  add_executable(${_target} ${CMAKE_CURRENT_LIST_DIR}/${_target}.cpp)
  target_link_libraries(${_target} PRIVATE torvu_mesh)
  target_link_options(${_target} PRIVATE -fsanitize=fuzzer)
endforeach()
