target_sources(kelengine PRIVATE
  lang/array_record.cpp
  lang/string_heap.cpp
  lang/structures.cpp
  lang/value.cpp
  lang/variables.cpp)
