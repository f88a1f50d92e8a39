// The message catalogue: numbered texts for errors and the user interface, with the language
// file that translates them.
#ifndef KEL_ERRORS_MESSAGES_H
#define KEL_ERRORS_MESSAGES_H

#include <cstddef>
#include <cstdint>

namespace kel {

struct BatchContext;

// Copies text `id` into `out` (at most `size` bytes with the terminator) and returns its
// length. With a language file in use, a text of id 100 or more comes from it when it has one;
// otherwise, and for smaller ids, from the string table of `module` (null: the engine's own).
// A number the catalogue lacks gives an empty text. In the text, "~" becomes a line feed and
// "|" a tab. Id 0 chooses the language again. `context` may be null (code page 0 then).
std::size_t LoadMyString(BatchContext* context, void* module, std::uint32_t id, char* out,
                         std::size_t size);
// The same converted to UTF-16 with the script's code page; `bytes` is the buffer's size in
// bytes. Returns the length in UTF-16 units.
std::size_t LoadMyStringW(BatchContext* context, void* module, std::uint32_t id, char16_t* out,
                          std::size_t bytes);

// Room for any text of the catalogue.
constexpr std::size_t kMessageBytes = 1024;

// LoadMyString from the engine's own catalogue: what the engine's routines use.
std::size_t LoadMessage(BatchContext& context, std::uint32_t id, char* out, std::size_t size);
// True when the catalogue (or the language file) has a text for `id`.
bool HasMessage(BatchContext& context, std::uint32_t id);

// The language chosen for the process ("enu" unless the settings say otherwise) and the
// language file in use ("" when there is none).
const char* CurrentLanguage();
const char* LanguageFilePath();

}  // namespace kel

#endif  // KEL_ERRORS_MESSAGES_H
