target_sources(kelengine PRIVATE
  loader/script_text.cpp)
