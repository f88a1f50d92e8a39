target_sources(kelengine PRIVATE
  lang/array_record.cpp
  lang/keyword_table.cpp
  lang/string_heap.cpp
  lang/statements.cpp
  lang/structures.cpp
  lang/tokenizer.cpp
  lang/tokenizer_exports.cpp
  lang/value.cpp
  lang/variables.cpp)
