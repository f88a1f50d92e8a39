target_sources(kelengine PRIVATE
  errors/error_box.cpp
  errors/error_exports.cpp
  errors/error_functions.cpp
  errors/error_handlers.cpp
  errors/error_state.cpp
  errors/math_error.cpp
  errors/messages.cpp
  errors/report.cpp
  errors/source_position.cpp
  errors/traceback.cpp)
# The engine's version, as the error box shows it.
set_property(SOURCE errors/error_box.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             KEL_ENGINE_VERSION="${PROJECT_VERSION}")
