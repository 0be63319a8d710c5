// English texts of the engine's status codes.
#pragma once

#include <optional>
#include <string>

#include "morvix/export.h"
#include "morvix/status_codes.h"

namespace morvix {

// The text of an error code with the failing file name put in for %s and the
// failing title number for %d; nullopt for a code without a text.
MORVIX_API std::optional<std::wstring> ErrorText(Status code, const ErrorContext& context);

// "Error code = <code>\n" followed by the text, or by "Unknown error." when the
// code has none.
MORVIX_API std::wstring ComposeErrorMessage(Status code, const ErrorContext& context);

}  // namespace morvix
