#include "runtime_link/user_message.h"

#include "runtime_link/pending_operation.h"

namespace ombru {

const MessageBoxApi& SystemMessageBoxApi() {
  static const MessageBoxApi api = {&::GetForegroundWindow, &::MessageBoxA};
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
  if (api.messageBox(api.foregroundWindow(), text, look.caption, look.style) == 0 &&
      api.messageBox(nullptr, text, look.caption, look.style) == 0) {
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
