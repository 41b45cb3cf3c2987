#include "output/PointerInjection.h"

#include "SystemDll.h"

namespace {
template <class Fn>
void Look(Fn& slot, const char* name) {
    slot = tavori::sysdll::SystemFunction<Fn>("user32.dll", name);
}
DWORD WINAPI LastError() { return GetLastError(); }
void WINAPI Pause(DWORD ms) { Sleep(ms); }
}  // namespace

PointerApi SystemPointerApi() {
    PointerApi api;
    Look(api.initializeTouchInjection, "InitializeTouchInjection");
    Look(api.injectTouchInput, "InjectTouchInput");
    Look(api.createSyntheticPointerDevice, "CreateSyntheticPointerDevice");
    Look(api.injectSyntheticPointerInput, "InjectSyntheticPointerInput");
    Look(api.destroySyntheticPointerDevice, "DestroySyntheticPointerDevice");
    api.lastError = LastError;
    api.pause = Pause;
    return api;
}
