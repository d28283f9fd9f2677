#include "runtime_link/directory_identity.h"

#include <cstring>

namespace {

constexpr int DCK_FLAGS = 1;
constexpr uint32_t DCV_TYPELESS_NAMES = 0x04;
constexpr uint32_t DCV_CANONICALIZE_NAMES = 0x10;
constexpr size_t kDistinguishedNameBuffer = 272;

template <typename Function>
Function EntryPoint(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A directory context created for one look, freed on every way out of it where the client can:
// any process may broadcast the change that starts a look, so contexts left behind would grow
// without bound over a session.
class OwnedContext {
 public:
  OwnedContext(DirectoryIdentityLookup::CreateContextFn create,
               DirectoryIdentityLookup::FreeContextFn freeContext)
      : freeContext(freeContext), created(create(&value) == 0) {}
  ~OwnedContext() {
    if (created && freeContext)
      freeContext(value);
  }
  OwnedContext(const OwnedContext&) = delete;
  OwnedContext& operator=(const OwnedContext&) = delete;

  explicit operator bool() const { return created; }
  uint32_t Get() const { return value; }

 private:
  DirectoryIdentityLookup::FreeContextFn freeContext;
  uint32_t value = 0;
  bool created;
};

}  // namespace

DirectoryIdentityLookup::DirectoryIdentityLookup() : module(LoadLibraryA("NETWIN32.DLL")) {
  if (!module)
    return;
  createContextHandle = EntryPoint<CreateContextFn>(module.Get(), "NWDSCreateContextHandle");
  getContext = EntryPoint<GetContextFn>(module.Get(), "NWDSGetContext");
  setContext = EntryPoint<SetContextFn>(module.Get(), "NWDSSetContext");
  whoAmI = EntryPoint<WhoAmIFn>(module.Get(), "NWDSWhoAmI");
  isDSAuthenticated = EntryPoint<IsAuthenticatedFn>(module.Get(), "NWIsDSAuthenticated");
  freeContext = EntryPoint<FreeContextFn>(module.Get(), "NWDSFreeContext");
  available = createContextHandle && getContext && setContext && whoAmI && isDSAuthenticated;
}

DirectoryIdentityLookup::~DirectoryIdentityLookup() = default;

int GetDirectoryUserName(const DirectoryIdentityLookup& lookup, char* buffer, size_t size,
                         bool typed) {
  if (size == 0)
    return 0;
  std::memset(buffer, 0, size);
  lstrcpynA(buffer, "NONE", static_cast<int>(size - 1));
  if (!lookup.Available())
    // Not reached: both callers ask only an available client.
    return 0;
  if (lookup.isDSAuthenticated() == 0)
    return 0;

  const OwnedContext context(lookup.createContextHandle, lookup.freeContext);
  if (!context)
    return 0;
  uint32_t flags = 0;
  if (lookup.getContext(context.Get(), DCK_FLAGS, &flags) != 0)
    return 0;
  if (!typed)
    flags |= DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES;
  if (lookup.setContext(context.Get(), DCK_FLAGS, &flags) != 0)
    return 0;

  char name[kDistinguishedNameBuffer] = {};
  if (lookup.whoAmI(context.Get(), name) != 0)
    return 0;
  lstrcpynA(buffer, name, static_cast<int>(size));
  return 1;
}
