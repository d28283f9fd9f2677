#include "runtime_link/pending_op_exec.h"

#include "runtime_link/invoke_data.h"
#include "runtime_link/pending_operation.h"
#include "runtime_link/runtime_session.h"
#include "runtime_link/user_message.h"

namespace {

const char* StorageTypeLine(uint32_t storageType) {
  if (storageType == NET_NT)
    return "Pending has a NET_NT type";
  if (storageType == NET_LOCAL)
    return "Pending has a NET_LOCAL type";
  return "Pending has a NET_OTHER type";
}

std::string ComputerName() {
  char name[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  GetComputerNameA(name, &size);
  return name;
}

}  // namespace

CPendingOpExec::CPendingOpExec(uint32_t operationKey, IVLLog& log) : operationKey(operationKey) {
  log.LogInfo("Creating CPendingOpExec");
  session = ombru::CreateRuntimeSession();
  if (session) {
    session->GetPendingOperations(&pendingOperations);
    uint32_t storageType = NET_LOCAL;
    session->GetStorageType(&storageType);
    log.LogInfo(StorageTypeLine(storageType));
  }
  computerName = ComputerName();
}

CPendingOpExec::~CPendingOpExec() = default;

HRESULT CPendingOpExec::Execute() {
  // Without the runtime's class there is nobody to ask.
  if (!pendingOperations)
    return E_FAIL;

  BYTE* record = nullptr;
  if (FAILED(pendingOperations->GetOperation(computerName.c_str(), operationKey, &record)) ||
      !record) {
    return E_FAIL;
  }

  const ombru::PendingOperationFields fields = ombru::ReadPendingOperation(record);
  HRESULT result = E_FAIL;
  // A message record without its payload is handed back like any record it cannot carry out.
  if (fields.objectId == ombru::RUNTIME_SESSION_OBJECT &&
      fields.kind == ombru::OPERATION_KIND_MESSAGE && fields.payload != 0) {
    result = ombru::DeliverUserMessage(ombru::SystemMessageBoxApi(),
                                       reinterpret_cast<const uint8_t*>(fields.payload),
                                       *pendingOperations, computerName.c_str(), operationKey);
  }
  pendingOperations->FreeOperation(record);
  return result;
}
