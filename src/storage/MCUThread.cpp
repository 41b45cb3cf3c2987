#include "storage/MCUThread.h"

#include <cstdlib>

#include "ACamDll.h"
#include "win/Trace.h"

bool CMCUThread::GetCalibration(_SCalibration& cal, uint32_t cameraTag, bool trustUntagged) {
    cal.lScreenIndex = cal.lPtCount = cal.lWinLeft = cal.lWinTop = cal.lWinWidth = cal.lWinHeight = 0;
    const bool loaded = LoadFromFlash();
    if (!loaded || (m_copy.cameraTag ? m_copy.cameraTag != cameraTag : !trustUntagged)) {
        cal.lPtCount = m_copy.pointCount;
        return false;
    }
    CopyFromFlash(m_copy, cal);
    return true;
}

const char* FlashWriteMessage(FlashWrite result) {
    switch (result) {
    case FlashWrite::SizeRefused: return "SetFlash Size fail";
    case FlashWrite::WriteFailed: return "update MP Data error";
    default: return "";
    }
}

FlashWrite CMCUThread::SetCalibration(_SCalibration cal, uint32_t cameraTag) {
    m_copy.pointCount = cal.lPtCount;
    m_copy.cameraTag = cameraTag;
    CopyToFlash(cal, m_copy);
    return SaveToFlash();
}

bool CMCUThread::LoadFromFlash() {
    const auto address = static_cast<unsigned short>(strtoul("1FBC", nullptr, 16));
    uint8_t buffer[kFlashReadBytes] = {};
    if (ALC_ReadFlash(address, kFlashReadBytes, buffer) <= 0) return false;
    return DecodeFlashRecord(buffer, m_copy);
}

FlashWrite CMCUThread::SaveToFlash() {
    uint8_t buffer[kFlashWriteBytes];
    if (!EncodeFlashRecord(m_copy, buffer)) {
        TRACE("SaveToFlash skipped: %lu points do not fit the flash record",
              static_cast<unsigned long>(m_copy.pointCount));
        return FlashWrite::DoesNotFit;
    }
    if (ALC_SetFlashSize(0x2000) == 0) return FlashWrite::SizeRefused;
    ALC_SetWriteProtect(0);
    if (ALC_WriteFlash(kFlashRecordAddress, kFlashWriteBytes, buffer) != kFlashWriteBytes) return FlashWrite::WriteFailed;
    ALC_SetWriteProtect(1);
    return FlashWrite::Ok;
}
