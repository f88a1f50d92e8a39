// A context that runs script texts through the run loop, with a `note` command of the host's
// own table through which a script shows what it sees, for the statement runner's tests.
#ifndef KEL_TESTS_UNIT_STATEMENTS_SUPPORT_H
#define KEL_TESTS_UNIT_STATEMENTS_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kel/kel_extender.h"
#include "lang/eval_value.h"
#include "lang/run_loop.h"
#include "lang/variables.h"
#include "unit/engine_fixture.h"
#include "unit/loader_support.h"

namespace kel::testing {

// What a `note` statement saw: its text and how deep the structure stack was.
struct Note {
  std::string text;
  std::uint16_t depth;
};

class StatementsTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    current_ = this;
    context().hostCallback = reinterpret_cast<void*>(&NoteEntry);
    context().hostKeywords = kRows;
    // Reports go to a log file, never to a box that would wait for a user.
    context().errors.quietErrors = 1;
    std::snprintf(context().errors.errorLogFile, sizeof context().errors.errorLogFile, "%s",
                  scratch_.Path("errors.log").c_str());
  }
  void TearDown() override {
    current_ = nullptr;
    EngineFixture::TearDown();
  }

  // Runs a text as the host's script; the hidden text stays for inspection until the next run.
  int Run(const std::string& text) {
    notes_.clear();
    context().errors.errNum = 0;
    context().errors.errorHeadline[0] = '\0';
    hidden_ = std::make_unique<HiddenText>(context(), text);
    ScriptText script = hidden_->text();
    script_ = script;
    EvalValue result;
    ResetEval(result);
    int outcome = RunLoop(context(), script, result);
    ReleaseEval(context(), result);
    return outcome;
  }
  // The plain byte at an offset of the text of the last run.
  std::uint8_t PlainByte(std::uint32_t offset) { return PlainByteAt(script_, offset); }

  std::vector<std::string> NoteTexts() const {
    std::vector<std::string> texts;
    for (const Note& note : notes_)
      texts.push_back(note.text);
    return texts;
  }
  // The integer a variable holds, or -99999 when it holds none.
  std::int32_t Integer(const char* name) {
    std::uint16_t slot = FindSlot(context(), name);
    if (slot == kNoSlot) return -99999;
    const Value& value = context().varSlots[slot].value;
    return (value.flags & kValueInteger) != 0 ? value.intValue : -99999;
  }
  std::uint32_t Error() const { return context_->errors.errNum; }
  std::string Headline() const { return context_->errors.errorHeadline; }

  std::vector<Note> notes_;
  ScratchDirectory scratch_;
  ScriptText script_{};  // the text of the last run

 private:
  static std::int32_t KEL_STDCALL NoteEntry(void*, void*, std::uint32_t, std::int32_t request,
                                            KelAnswerFn, KelServicesBlock*, std::uint32_t*,
                                            KelBoundaryValue* arguments, std::int32_t count,
                                            KelBoundaryValue*) {
    // Request 1 ("fail") answers with the error code its text names.
    const char* text = count > 0 && arguments[0].text != nullptr
                           ? static_cast<const char*>(arguments[0].text)
                           : "";
    if (request == 1) return std::atoi(text);
    current_->notes_.push_back({text, current_->context_->flow.depth});
    return 0;
  }
  static KelKeywordRow Row(const char* name) {
    KelKeywordRow row{};
    row.kind = 4;  // a command: the rest of the statement is its text
    row.nameLength = static_cast<std::uint16_t>(std::strlen(name));
    std::snprintf(row.name, sizeof row.name, "%s", name);
    return row;
  }
  static inline const KelKeywordRow kRows[] = {Row("note"), Row("fail"), KelKeywordRow{}};
  static inline StatementsTest* current_ = nullptr;

  std::unique_ptr<HiddenText> hidden_;
};

}  // namespace kel::testing

#endif  // KEL_TESTS_UNIT_STATEMENTS_SUPPORT_H
