# Tests of the terrain file readers and writers, with their data under data/grid and data/tbp.
file(GLOB TORVU_MESH_FILE_TESTS CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/test_grid*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_tiles*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_nodata*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_tbp*.cpp)
add_executable(torvu_mesh_file_tests ${TORVU_MESH_FILE_TESTS})
target_link_libraries(torvu_mesh_file_tests PRIVATE torvu_mesh GTest::gtest GTest::gtest_main)
target_compile_definitions(torvu_mesh_file_tests PRIVATE
  TORVU_MESH_TEST_DATA="${CMAKE_CURRENT_LIST_DIR}/data")
gtest_discover_tests(torvu_mesh_file_tests DISCOVERY_MODE PRE_TEST
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
