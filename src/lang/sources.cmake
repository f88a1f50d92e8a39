target_sources(kelengine PRIVATE
  lang/array_record.cpp
  lang/foreach.cpp
  lang/eval_value.cpp
  lang/evaluator.cpp
  lang/operators.cpp
  lang/user_functions.cpp
  lang/keyword_table.cpp
  lang/string_heap.cpp
  lang/statement_conditions.cpp
  lang/statement_jumps.cpp
  lang/statement_loops.cpp
  lang/statements.cpp
  lang/structures.cpp
  lang/tokenizer.cpp
  lang/tokenizer_exports.cpp
  lang/value.cpp
  lang/variables.cpp)
