// The runtime's in-process COM class and its two custom interfaces. Operations sit at fixed
// vtable positions (QueryInterface = 0); the slots the agent never calls are placeholders.
#pragma once

#include <objbase.h>

#include <cstdint>

extern const CLSID CLSID_RuntimeSession;
extern const IID IID_IRuntimeSession;

// The only target the agent ever connects to; its length is passed without the NUL.
inline constexpr char RUNTIME_TARGET[] = "WINSERVER:127.0.0.1:34348";
inline constexpr uint64_t RUNTIME_TARGET_LENGTH = sizeof(RUNTIME_TARGET) - 1;

struct IPendingOperations;

struct IRuntimeSession : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Connect(const char* target, uint64_t length) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPendingOperations(IPendingOperations** operations) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(const BYTE* message, uint32_t length, BYTE** reply,
                                           uint32_t* replyLength) = 0;  // 10
  virtual HRESULT STDMETHODCALLTYPE FreeReply(BYTE* reply) = 0;         // 11
  virtual HRESULT STDMETHODCALLTYPE Unused12() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused13() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStorageType(uint32_t* storageType) = 0;  // 14
};

// Storage types reported by GetStorageType; any other value is NET_OTHER.
inline constexpr uint32_t NET_LOCAL = 1;
inline constexpr uint32_t NET_NT = 2;

struct IPendingOperations : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused12() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused13() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused14() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused15() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused16() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused17() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused18() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused19() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused20() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused21() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused22() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused23() = 0;
  virtual HRESULT STDMETHODCALLTYPE CompleteOperation(const char* computerName,
                                                      uint32_t operationKey) = 0;  // 24
  virtual HRESULT STDMETHODCALLTYPE FailOperation(const char* computerName, uint32_t operationKey,
                                                  uint32_t level, HRESULT error,
                                                  const char* text) = 0;  // 25
  virtual HRESULT STDMETHODCALLTYPE Unused26() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOperation(const char* computerName, uint32_t operationKey,
                                                 BYTE** record) = 0;  // 27
  virtual HRESULT STDMETHODCALLTYPE FreeOperation(BYTE* record) = 0;  // 28
};
