// Dialog templates built in memory, for the engine's boxes that have no template among the
// module's resources.
#ifndef KEL_PLATFORM_WIN32_DIALOG_TEMPLATE_H
#define KEL_PLATFORM_WIN32_DIALOG_TEMPLATE_H

#include <windows.h>

#include <vector>

namespace kel::platform::win32 {

// The atoms of the predefined control classes.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kListBoxClass = 0x0083;

// A dialog template is a run of WORDs: the header, then each control on a DWORD boundary.
class TemplateWriter {
 public:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
  }
  void Text(const wchar_t* text) {
    for (; *text != L'\0'; ++text)
      Word(static_cast<WORD>(*text));
    Word(0);
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  // The header of a centred modal box with the system's dialog font: its control count, size in
  // dialog units and title.
  void ModalBox(WORD controls, WORD width, WORD height, const wchar_t* title) {
    Dword(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Dword(0);  // extended style
    Word(controls);
    Word(0);  // x, y: centred
    Word(0);
    Word(width);
    Word(height);
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    Text(title);
    Word(8);
    Text(L"MS Shell Dlg");
  }
  void Control(DWORD style, short x, short y, short width, short height, WORD id, WORD atom,
               const wchar_t* text) {
    AlignToDword();
    Dword(WS_CHILD | WS_VISIBLE | style);
    Dword(0);  // extended style
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(width));
    Word(static_cast<WORD>(height));
    Word(id);
    Word(0xFFFF);  // a predefined class, named by its atom
    Word(atom);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  std::vector<WORD> words_;
};

}  // namespace kel::platform::win32

#endif  // KEL_PLATFORM_WIN32_DIALOG_TEMPLATE_H
