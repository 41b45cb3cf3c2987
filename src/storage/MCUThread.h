// One camera's calibration copy in its flash memory, read and written through the flash store.
#pragma once
#include "MultiIRLight.h"
#include "storage/FlashRecord.h"

class CMCUThread {
public:
    CMCUThread() = default;
    virtual ~CMCUThread() = default;

    // Fills the record from flash; true when the flash held a record for the configured count.
    bool GetCalibration(_SCalibration& cal);
    // Keeps a copy and writes the flash record (failures are shown, not returned).
    void SetCalibration(_SCalibration cal);

    bool LoadFromFlash();
    void SaveToFlash();
    const FlashCalibration& Copy() const { return m_copy; }

private:
    FlashCalibration m_copy;
};
