# The function families of the data and system functions; each family's folder lists its own
# sources in its sources.cmake.
foreach(family strings binary arrays time math files windows keys registry launch clipboard
               mouse pipes shortcuts digests ini)
  include(${CMAKE_CURRENT_LIST_DIR}/${family}/sources.cmake OPTIONAL)
endforeach()
# The environment variables and the facts about the system and the engine.
include(${CMAKE_CURRENT_LIST_DIR}/system/sources.cmake)
