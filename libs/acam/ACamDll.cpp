#include "ACamDll.h"

#include <memory>

#include "FlashStore.h"

namespace {
std::unique_ptr<acam::FlashStore> g_store;
}

extern "C" int ALC_Initialize(void) {
    if (!g_store) g_store = std::make_unique<acam::FlashStore>(acam::DefaultFlashPath());
    if (g_store->IsOpen()) return 1;
    return g_store->Open() ? 1 : 0;
}

extern "C" void ALC_UnInitialize(void) {
    if (g_store) g_store->Close();
}

extern "C" int ALC_ReadFlash(unsigned short address, int count, unsigned char* destination) {
    return g_store ? g_store->Read(address, count, destination) : 0;
}

extern "C" int ALC_WriteFlash(unsigned short address, int count, const unsigned char* source) {
    return g_store ? g_store->Write(address, count, source) : 0;
}

extern "C" unsigned char ALC_SetFlashSize(int size) {
    return (g_store && g_store->IsOpen() && g_store->SetFlashSize(size)) ? 1 : 0;
}

extern "C" void ALC_SetWriteProtect(int protect) {
    if (g_store) g_store->SetWriteProtect(protect != 0);
}
