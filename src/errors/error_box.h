// The error box's texts, gathered from the context and the catalogue, and the box itself.
#ifndef KEL_ERRORS_ERROR_BOX_H
#define KEL_ERRORS_ERROR_BOX_H

#include "platform/platform.h"

namespace kel {

struct BatchContext;

// Runs the box for the error whose line and headline are filled in (playing "SystemHand" when
// sounds are on and bringing the host's window forward first) and opens the help web page when
// the user asks for it. Returns the button that ended the box.
int RunErrorBox(BatchContext& context, void* owner, platform::ErrorBoxKind kind);

// The engine's version, as the box's version line shows it.
const char* EngineVersionText();

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_BOX_H
