# Terrain files: ESRI ASCII grids, grid tiles, NODATA filling and tbp triangle files.
set(TORVU_MESH_FILE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SW_Mesh_Grid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SW_Mesh_GridTiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SW_Mesh_NoData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SW_Mesh_Tbp.cpp)
get_target_property(_torvu_mesh_sources torvu_mesh SOURCES)
foreach(_src IN LISTS TORVU_MESH_FILE_SOURCES)
  if(NOT _src IN_LIST _torvu_mesh_sources)
    target_sources(torvu_mesh PRIVATE ${_src})
  endif()
endforeach()
