/* Camera-flash store. The flash is an 8192-byte image; ours lives in CameraFlash.bin beside the
 * program. All calls are made from one thread (the driver's user-interface thread). */
#ifndef TAVORI_ACAMDLL_H
#define TAVORI_ACAMDLL_H

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the store can be opened or created; 0 otherwise (then every access fails). */
int ALC_Initialize(void);
void ALC_UnInitialize(void);
/* Bytes read (the count) or 0 when the address lies outside the flash, the count is 0 or more than
 * the whole flash, or the store is not ready. An access that runs past the end of the flash
 * continues at its start, as the chip's address counter wraps. */
int ALC_ReadFlash(unsigned short address, int count, unsigned char* destination);
/* Bytes written (the count) or 0: address outside the flash, write protection on, store not ready, or
 * the image could not be replaced. The previous image is kept whole on any failure. */
int ALC_WriteFlash(unsigned short address, int count, const unsigned char* source);
/* Sets the addressable flash size, 1..8192 bytes; 0 = refused. */
unsigned char ALC_SetFlashSize(int size);
/* 1 = writes refused (the state after initialisation), 0 = writes allowed. */
void ALC_SetWriteProtect(int protect);

#ifdef __cplusplus
}
#endif
#endif
