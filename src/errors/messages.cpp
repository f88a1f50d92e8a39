// The message catalogue: the module's string table, overridden text by text by the language
// file KELDLANG.<language>.
#include "errors/messages.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr std::size_t kLanguageBytes = 64;
constexpr std::size_t kMessageWorkBytes = 4100;
constexpr char kNotTranslated[] = "XXX";
constexpr std::uint32_t kFirstTranslatedId = 100;

// The language is chosen once per process, at the first lookup, and again on request (id 0).
// Like the other process-wide choices it is written without a lock: every context would choose
// the same, and the texts are only read afterwards.
struct LanguageChoice {
  bool chosen;
  bool textsOn;
  char language[kLanguageBytes];
  char filePath[kPathBytes];
};

LanguageChoice& Language() {
  static LanguageChoice choice{};
  return choice;
}

void ChooseLanguage() {
  LanguageChoice& choice = Language();
  choice.chosen = true;
  choice.textsOn = false;
  choice.filePath[0] = '\0';
  platform::ReadProfileText(kSettingsFile, kSettingsMain, "Language", kNotTranslated,
                            choice.language, sizeof choice.language);
  if (std::strcmp(choice.language, kNotTranslated) == 0)
    platform::ReadSystemProfileText("INTL", "sLanguage", "enu", choice.language,
                                    sizeof choice.language);

  char name[kLanguageBytes + 16];
  std::snprintf(name, sizeof name, "KELDLANG.%s", choice.language);
  // First beside this module, then wherever the system's own search finds it.
  char modulePath[kPathBytes];
  std::size_t length = platform::ModulePathOf(reinterpret_cast<const void*>(&ChooseLanguage),
                                              modulePath, sizeof modulePath);
  if (length > 0) {
    std::size_t directory = length;
    while (directory > 0 && modulePath[directory - 1] != '\\' && modulePath[directory - 1] != '/')
      --directory;
    char candidate[kPathBytes + sizeof name];
    std::snprintf(candidate, sizeof candidate, "%.*s%s", static_cast<int>(directory), modulePath,
                  name);
    if (directory > 0 &&
        platform::FindFileOnSearchPath(candidate, choice.filePath, sizeof choice.filePath) > 0) {
      choice.textsOn = true;
      return;
    }
  }
  choice.textsOn =
      platform::FindFileOnSearchPath(name, choice.filePath, sizeof choice.filePath) > 0;
}

// Looks the text up without translating "~" and "|"; false when neither the language file nor
// the string table has it.
bool FindText(void* module, std::uint32_t id, char* out, std::size_t size, std::size_t* length) {
  LanguageChoice& choice = Language();
  if (!choice.chosen || id == 0) ChooseLanguage();
  if (id >= kFirstTranslatedId && choice.textsOn) {
    char key[16];
    std::snprintf(key, sizeof key, "X%u", id);
    *length = platform::ReadProfileText(choice.filePath, "MAIN", key, kNotTranslated, out, size);
    if (std::strcmp(out, kNotTranslated) != 0) return true;
  }
  return platform::LoadModuleString(module, id, out, size, length);
}

// "~" stands for a line feed and "|" for a tab. The walk goes by characters, so the second byte
// of a double-byte character is never taken for either.
void TranslateMarks(char* text, std::uint32_t codePage) {
  for (char* c = text; *c != '\0'; ++c) {
    if (platform::IsDoubleByteLead(codePage, static_cast<unsigned char>(*c))) {
      if (c[1] == '\0') break;
      ++c;
    } else if (*c == '~') {
      *c = '\n';
    } else if (*c == '|') {
      *c = '\t';
    }
  }
}

}  // namespace

std::size_t LoadMyString(BatchContext* context, void* module, std::uint32_t id, char* out,
                         std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  char text[kMessageWorkBytes];
  std::size_t length = 0;
  if (!FindText(module, id, text, sizeof text, &length)) text[0] = '\0';
  TranslateMarks(text, context != nullptr ? context->codePage : 0);
  length = std::strlen(text);
  if (length >= size) {
    length = size - 1;
    // A cut never leaves the first half of a double-byte character at the end.
    std::uint32_t codePage = context != nullptr ? context->codePage : 0;
    std::size_t whole = 0;
    for (std::size_t i = 0; i < length;) {
      std::size_t step =
          platform::IsDoubleByteLead(codePage, static_cast<unsigned char>(text[i])) ? 2 : 1;
      if (i + step > length) break;
      i += step;
      whole = i;
    }
    length = whole;
  }
  std::memcpy(out, text, length);
  out[length] = '\0';
  return length;
}

std::size_t LoadMyStringW(BatchContext* context, void* module, std::uint32_t id, char16_t* out,
                          std::size_t bytes) {
  std::size_t units = bytes / sizeof(char16_t);
  if (out == nullptr || units == 0) return 0;
  char text[kMessageWorkBytes];
  std::size_t length = LoadMyString(context, module, id, text, sizeof text);
  char16_t wide[kMessageWorkBytes];
  int converted = platform::AnsiToWide(context != nullptr ? context->codePage : 0, text, length,
                                       wide, kMessageWorkBytes);
  std::size_t count = converted > 0 ? static_cast<std::size_t>(converted) : 0;
  if (count >= units) count = units - 1;
  std::memcpy(out, wide, count * sizeof(char16_t));
  out[count] = u'\0';
  return count;
}

std::size_t LoadMessage(BatchContext& context, std::uint32_t id, char* out, std::size_t size) {
  return LoadMyString(&context, Process().moduleInstance, id, out, size);
}

bool HasMessage(BatchContext& context, std::uint32_t id) {
  char text[kMessageWorkBytes];
  std::size_t length = 0;
  return id != 0 && FindText(Process().moduleInstance, id, text, sizeof text, &length);
}

const char* CurrentLanguage() {
  if (!Language().chosen) ChooseLanguage();
  return Language().language;
}

const char* LanguageFilePath() {
  if (!Language().chosen) ChooseLanguage();
  return Language().textsOn ? Language().filePath : "";
}

}  // namespace kel
