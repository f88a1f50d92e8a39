target_sources(kelengine PRIVATE
  builtins/arguments.cpp
  builtins/core_functions.cpp
  builtins/debug_functions.cpp
  builtins/dispatch.cpp
  builtins/dll_services.cpp
  builtins/extender_router.cpp
  builtins/int_control.cpp)
