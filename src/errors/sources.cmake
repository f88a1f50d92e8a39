target_sources(kelengine PRIVATE
  errors/error_state.cpp
  errors/messages.cpp
  errors/report.cpp)
