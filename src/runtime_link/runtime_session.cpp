#include "runtime_link/runtime_session.h"

// {7A3C1E52-4B9D-4F61-9C2E-0D5B8A6F3E11}
const CLSID CLSID_RuntimeSession = {
    0x7a3c1e52, 0x4b9d, 0x4f61, {0x9c, 0x2e, 0x0d, 0x5b, 0x8a, 0x6f, 0x3e, 0x11}};
// {7A3C1E53-4B9D-4F61-9C2E-0D5B8A6F3E11}
const IID IID_IRuntimeSession = {
    0x7a3c1e53, 0x4b9d, 0x4f61, {0x9c, 0x2e, 0x0d, 0x5b, 0x8a, 0x6f, 0x3e, 0x11}};

namespace ombru {

ComPtr<IRuntimeSession> CreateRuntimeSession() {
  void* session = nullptr;
  if (FAILED(CoCreateInstance(CLSID_RuntimeSession, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IRuntimeSession, &session))) {
    return ComPtr<IRuntimeSession>();
  }
  return ComPtr<IRuntimeSession>(static_cast<IRuntimeSession*>(session));
}

}  // namespace ombru
