// The application object's part in error handling: exceptions that no caller can take
// (raised inside a dataset's filter handler, a blob stream's change notice, a background
// completion) go to the handler the program installs, or else to the platform's display
// of the error. Used by the dataset libraries of both engines.
#pragma once

#include <exception>
#include <functional>

#include "platform/Classes.h"

namespace platform {

using TExceptionEvent = std::function<void(TComponent* sender, const std::exception& error)>;

// The program's handler (Application.OnException); null removes it.
void SetApplicationOnException(TExceptionEvent handler);
bool ApplicationHasExceptionHandler();
// To the installed handler with the sender, else ShowException; never raises. A silent
// abort (EAbort) goes to neither.
void ApplicationHandleException(TComponent* sender, const std::exception& error);
// The platform's display: a message box with the error's message, the error icon and an
// OK button, captioned with the application's title (else the program's file name).
void ShowException(const std::exception& error);

}  // namespace platform
