#include "runtime_link/user_message.h"

#include "runtime_link/pending_operation.h"

namespace ombru {
namespace {

constexpr UINT kOwnerAnswerMs = 1000;

// A modal box disables its owner, and so waits on the owner's thread: an application in front
// that has stopped reading its messages would hold the box, and the runtime's operation, for
// ever. Such a window owns nothing; the box is shown without an owner, as the retry is.
HWND AnsweringForegroundWindow(const MessageBoxApi& api) {
  const HWND foreground = api.foregroundWindow();
  DWORD_PTR answer = 0;
  if (foreground &&
      !api.sendMessageTimeout(foreground, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                              kOwnerAnswerMs, &answer)) {
    return nullptr;
  }
  return foreground;
}

// Zero when neither the owned box nor one without an owner could be shown; the last error is
// then the second box's own.
int ShowBox(const MessageBoxApi& api, const char* text, const MessageBoxLook& look) {
  if (const int shown =
          api.messageBox(AnsweringForegroundWindow(api), text, look.caption, look.style)) {
    return shown;
  }
  SetLastError(ERROR_SUCCESS);
  return api.messageBox(nullptr, text, look.caption, look.style);
}

}  // namespace

const MessageBoxApi& SystemMessageBoxApi() {
  static const MessageBoxApi api = {&::GetForegroundWindow, &::SendMessageTimeoutA, &::MessageBoxA};
  return api;
}

HRESULT DeliverUserMessage(const MessageBoxApi& api, const uint8_t* payload,
                           IPendingOperations& operations, const char* computerName,
                           uint32_t operationKey) {
  const MessagePayloadFields fields = ReadMessagePayload(payload);
  if (const char* rejection = RejectionText(fields.flags)) {
    operations.FailOperation(computerName, operationKey, kMessageFailureLevel, E_INVALIDARG,
                             rejection);
    return E_INVALIDARG;
  }

  const char* text = reinterpret_cast<const char*>(payload + kMessageTextOffset);
  const MessageBoxLook look = MessageBoxLookFor(fields.typeMask);
  // Blocks until the user closes the box; the runtime learns of completion only then.
  if (ShowBox(api, text, look) == 0) {
    // The runtime must not believe the user was told.
    const DWORD error = GetLastError();
    const HRESULT failure = error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
    operations.FailOperation(computerName, operationKey, kMessageFailureLevel, failure,
                             kUndeliveredMessageText);
    return failure;
  }
  operations.CompleteOperation(computerName, operationKey);
  return S_OK;
}

}  // namespace ombru
