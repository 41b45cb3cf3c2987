#include "ComApartment.h"

#include <objbase.h>

namespace tavori::dev {

void JoinApartment() {
    struct Membership {
        // A thread already in a single-threaded apartment keeps it (RPC_E_CHANGED_MODE): the
        // Media Foundation objects we use are free-threaded.
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ~Membership() {
            if (SUCCEEDED(hr)) CoUninitialize();
        }
    };
    thread_local Membership membership;
    (void)membership;
}

}  // namespace tavori::dev
