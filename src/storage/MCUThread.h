// One camera's calibration copy in its flash memory, read and written through the flash store.
#pragma once
#include "MultiIRLight.h"
#include "storage/FlashRecord.h"

// How a flash write ended; the window turns a failure into a message for the user.
enum class FlashWrite { Ok, DoesNotFit, SizeRefused, WriteFailed };
// The text shown for a failed write; empty for Ok and for a record that did not fit (the file keeps it).
const char* FlashWriteMessage(FlashWrite result);

class CMCUThread {
public:
    CMCUThread() = default;
    virtual ~CMCUThread() = default;

    // Fills the record from flash; true when the flash held a record of the camera `cameraTag`
    // (FlashCameraTag), or one that names no camera when `trustUntagged` (only one camera runs).
    bool GetCalibration(_SCalibration& cal, uint32_t cameraTag, bool trustUntagged);
    // Keeps a copy and writes the flash record, naming its camera.
    FlashWrite SetCalibration(_SCalibration cal, uint32_t cameraTag);

    bool LoadFromFlash();
    FlashWrite SaveToFlash();

private:
    FlashCalibration m_copy;
};
