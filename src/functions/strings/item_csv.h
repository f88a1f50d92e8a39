// The comma-separated-line functions ItemCountCsv and ItemExtractCsv.
#ifndef KEL_FUNCTIONS_STRINGS_ITEM_CSV_H
#define KEL_FUNCTIONS_STRINGS_ITEM_CSV_H

#include "lang/value.h"

namespace kel {

struct BatchContext;

// ItemCountCsv (line, flags, [delimiter]) and ItemExtractCsv (index, line, flags, [delimiter]);
// `count` is the number of arguments given, `wide` selects the UTF-16 form.
void CsvFieldCount(BatchContext& context, EvalValue& result, EvalValue* arguments, int count,
                   bool wide);
void CsvFieldExtract(BatchContext& context, EvalValue& result, EvalValue* arguments, int count,
                     bool wide);

}  // namespace kel

#endif  // KEL_FUNCTIONS_STRINGS_ITEM_CSV_H
