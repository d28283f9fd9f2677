#include "runtime_link/send_to_runtime.h"

#include <cstring>
#include <vector>

#include "framework/com_apartment.h"
#include "runtime_link/runtime_session.h"

namespace ombru {

int SendToRuntime(const CInvokeData& message) {
  ComApartment apartment;
  ComPtr<IRuntimeSession> session = CreateRuntimeSession();
  if (!session)
    return 0;

  char target[sizeof(RUNTIME_TARGET)];
  std::memcpy(target, RUNTIME_TARGET, sizeof(RUNTIME_TARGET));
  if (FAILED(session->Connect(target, RUNTIME_TARGET_LENGTH)))
    return 0;

  const uint32_t size = message.GetSerializedSize(SERIALIZE_CALL);
  std::vector<uint8_t> buffer(size);
  message.Serialize(buffer.data(), size, SERIALIZE_CALL);

  BYTE* reply = nullptr;
  uint32_t replyLength = 0;
  if (SUCCEEDED(session->Invoke(buffer.data(), size, &reply, &replyLength))) {
    session->FreeReply(reply);
  }
  return 0;
}

}  // namespace ombru
