target_sources(kelengine PRIVATE
  loader/definitions.cpp
  loader/script_text.cpp)
