// The error box: its texts from the context and the catalogue, and the help web page.
#include "errors/error_box.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "core/batch_context.h"
#include "core/hooks.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "errors/source_position.h"
#include "errors/traceback.h"

#ifndef KEL_ENGINE_VERSION
#define KEL_ENGINE_VERSION "0"
#endif

namespace kel {
namespace {

constexpr std::size_t kWordBytes = 128;
constexpr std::size_t kWindowTitleBytes = 500;  // at most 499 characters of the host's title
constexpr std::size_t kInformationBytes = kPathBytes + 100;
constexpr std::size_t kTracebackBytes = 32 * 1024;
constexpr std::size_t kBrowserCommandBytes = 1024;

// While the browser shows the help page, the host's window stays responsive and a cancelled
// script stops waiting.
bool KeepWaitingForBrowser(void* data) {
  auto& context = *static_cast<BatchContext*>(data);
  Hooks().fullPump(context);
  return context.stopRequested == 0;
}

}  // namespace

const char* EngineVersionText() {
  return KEL_ENGINE_VERSION;
}

int RunErrorBox(BatchContext& context, void* owner, platform::ErrorBoxKind kind) {
  ErrorState& errors = context.errors;
  if (context.soundsOn != 0) platform::PlaySystemSound("SystemHand");
  platform::BringWindowForward(context.parentWindow);

  char label[kWordBytes];
  LoadMessage(context, kMsgErrorLabel, label, sizeof label);
  char hostTitle[kWindowTitleBytes];
  platform::WindowTitle(context.parentWindow, hostTitle, sizeof hostTitle);
  char title[kWordBytes + kWindowTitleBytes + 4];
  std::snprintf(title, sizeof title, "%s  %s", label, hostTitle);

  // The headline of 3056 is always the conversion text, whatever a caller left in the headline.
  char headline[kErrorTextBytes];
  if (errors.lastErrNum == static_cast<std::int32_t>(kErrNotString))
    std::snprintf(headline, sizeof headline, "%u:  %s", static_cast<unsigned>(kErrNotString),
                  "Variable could not be converted to string");
  else
    std::snprintf(headline, sizeof headline, "%s", errors.errorHeadline);

  SourcePosition position{};
  Hooks().locateFailingStatement(context, position);
  char lineInformation[kInformationBytes];
  char fileInformation[kInformationBytes];
  FormatLineInformation(context, position, lineInformation, fileInformation,
                        sizeof lineInformation);

  char versionWord[kWordBytes];
  LoadMessage(context, kMsgEngineVersion, versionWord, sizeof versionWord);
  char versionLine[kHostVersionBytes + 2 * kWordBytes];
  std::snprintf(versionLine, sizeof versionLine, "%s\n%s %s", errors.hostVersion, versionWord,
                EngineVersionText());

  char moreInfo[kMoreErrorInfoBytes];
  MoreErrorInfoText(context, moreInfo, sizeof moreInfo);
  // A full structure stack makes a long traceback; without memory for it, its start will do.
  char shortTraceback[1024];
  std::unique_ptr<char[]> longTraceback(new (std::nothrow) char[kTracebackBytes]);
  char* traceback = longTraceback != nullptr ? longTraceback.get() : shortTraceback;
  FormatTraceback(context, position, traceback,
                  longTraceback != nullptr ? kTracebackBytes : sizeof shortTraceback);

  char moreInfoButton[kWordBytes], tracebackButton[kWordBytes], webPageButton[kWordBytes];
  char firstButton[kWordBytes], exitButton[kWordBytes];
  char moreInfoTitle[kWordBytes], tracebackTitle[kWordBytes];
  LoadMessage(context, kMsgMoreInfoButton, moreInfoButton, sizeof moreInfoButton);
  LoadMessage(context, kMsgTracebackButton, tracebackButton, sizeof tracebackButton);
  LoadMessage(context, kMsgWebPageButton, webPageButton, sizeof webPageButton);
  LoadMessage(context, kind == platform::ErrorBoxKind::Ok ? kMsgOkButton : kMsgContinueButton,
              firstButton, sizeof firstButton);
  LoadMessage(context, kMsgExitButton, exitButton, sizeof exitButton);
  LoadMessage(context, kMsgMoreInfoTitle, moreInfoTitle, sizeof moreInfoTitle);
  LoadMessage(context, kMsgTracebackTitle, tracebackTitle, sizeof tracebackTitle);

  // The web page is offered only where there is an address and a browser to show it.
  char browser[kBrowserCommandBytes] = "";
  bool offerWebPage = errors.helpPageOn == 1 && errors.helpPageAddress[0] != '\0' &&
                      platform::BrowserCommand(browser, sizeof browser) > 0;

  platform::ErrorBoxTexts texts{};
  texts.title = title;
  texts.errorLabel = label;
  texts.scriptName = context.scriptPath;
  texts.headline = headline;
  texts.lineInformation = lineInformation;
  texts.fileInformation = fileInformation;
  texts.errorLine = errors.errorLine;
  texts.versionLine = versionLine;
  texts.moreInfoButton = moreInfoButton;
  texts.tracebackButton = tracebackButton;
  texts.webPageButton = webPageButton;
  texts.firstButton = firstButton;
  texts.exitButton = exitButton;
  texts.moreInfo = moreInfo;
  texts.moreInfoTitle = moreInfoTitle;
  texts.tracebackTitle = tracebackTitle;
  texts.traceback = traceback;
  texts.offerWebPage = offerWebPage;
  texts.soundsOn = context.soundsOn != 0;
  int answer = platform::ShowErrorBox(owner, kind, texts);
  // A page that cannot be opened changes nothing: the answer still ends the script.
  if (answer == platform::kErrorBoxWebPage)
    platform::OpenHelpPage(errors.helpPageAddress, browser, KeepWaitingForBrowser, &context);
  return answer;
}

}  // namespace kel
