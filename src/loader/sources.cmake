target_sources(kelengine PRIVATE
  loader/definitions.cpp
  loader/hidden_text.cpp
  loader/includes.cpp
  loader/line_reader.cpp
  loader/script_file.cpp
  loader/script_text.cpp
  loader/source_lines.cpp)
