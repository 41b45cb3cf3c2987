#include "storage/MCUThread.h"

#include <cstdlib>

#include "ACamDll.h"
#include "app/LumoraApp.h"
#include "config/Settings.h"
#include "win/Trace.h"

bool CMCUThread::GetCalibration(_SCalibration& cal) {
    cal.lScreenIndex = cal.lPtCount = cal.lWinLeft = cal.lWinTop = cal.lWinWidth = cal.lWinHeight = 0;
    if (!LoadFromFlash()) {
        cal.lPtCount = m_copy.pointCount;
        return false;
    }
    CopyFromFlash(m_copy, cal);
    return true;
}

void CMCUThread::SetCalibration(_SCalibration cal) {
    m_copy.pointCount = static_cast<uint32_t>(g_Settings.SetPtCount);
    CopyToFlash(cal, m_copy);
    SaveToFlash();
}

bool CMCUThread::LoadFromFlash() {
    const auto address = static_cast<unsigned short>(strtoul("1FBC", nullptr, 16));
    uint8_t buffer[kFlashReadBytes] = {};
    if (ALC_ReadFlash(address, kFlashReadBytes, buffer) <= 0) return false;
    // A configured count the flash cannot hold reads as no record: the file has the calibration.
    return DecodeFlashRecord(buffer, static_cast<uint32_t>(g_Settings.SetPtCount), m_copy);
}

void CMCUThread::SaveToFlash() {
    uint8_t buffer[kFlashWriteBytes];
    if (!EncodeFlashRecord(m_copy, buffer)) {
        TRACE("SaveToFlash skipped: %lu points do not fit the flash record",
              static_cast<unsigned long>(m_copy.pointCount));
        return;
    }
    if (ALC_SetFlashSize(0x2000) == 0) {
        AppMessageBox("SetFlash Size fail");
        return;
    }
    ALC_SetWriteProtect(0);
    if (ALC_WriteFlash(kFlashRecordAddress, kFlashWriteBytes, buffer) != kFlashWriteBytes) {
        AppMessageBox("update MP Data error");
        return;
    }
    ALC_SetWriteProtect(1);
}
