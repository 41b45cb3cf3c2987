#include "VirtualRig.h"

#include <gtest/gtest.h>
#include <dbt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "DriverHarness.h"
#include "calibration/CollatePoints.h"
#include "storage/FlashRecord.h"

namespace e2e {

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

tavori::vcam::Config DefaultCamera() {
    tavori::vcam::Config c;
    c.hasScreenRect = true;
    c.rect[2] = ScreenWidth(), c.rect[3] = ScreenHeight();
    return c;
}

_SCalibration CalibrationFromModel(const tavori::vcam::Config& camera, int n) {
    tavori::vcam::LensModel model;
    EXPECT_TRUE(model.Init(camera));
    _SCalibration cal{};
    const int w = camera.rect[2], h = camera.rect[3];
    cal.lWinLeft = static_cast<uint32_t>(camera.rect[0]);
    cal.lWinTop = static_cast<uint32_t>(camera.rect[1]);
    cal.lWinWidth = static_cast<uint32_t>(w);
    cal.lWinHeight = static_cast<uint32_t>(h);
    cal.lPtCount = static_cast<uint32_t>(n * n);
    cal.lType = 1;
    for (int i = 0; i < n * n; ++i) {
        // Where the calibration dialogs draw the cross of point i.
        const collate::GridPoint s = collate::TargetPosition({i / n, i % n}, n, w, h);
        double cx = 0, cy = 0;
        EXPECT_TRUE(model.Project(s.x, s.y, cx, cy));
        cal.x[i] = static_cast<uint32_t>(std::lround(cx));
        cal.y[i] = static_cast<uint32_t>(std::lround(cy));
    }
    return cal;
}

void WriteCalibrationIni(const ProgramFolder& folder, const _SCalibration& cal, int exposure, int cameras) {
    std::ostringstream text;
    // One section for each camera: a camera takes a section that names no camera only if no other
    // camera took it first.
    for (int k = 0; k < cameras; ++k) {
        text << (k ? "[Calibration" + std::to_string(k + 1) + "]" : std::string("[Calibration]")) << "\r\nlPtCount=" << cal.lPtCount
             << "\r\nlWinLeft=" << cal.lWinLeft << "\r\nlWinTop=" << cal.lWinTop << "\r\nlWinWidth=" << cal.lWinWidth
             << "\r\nlWinHeight=" << cal.lWinHeight << "\r\nlScreenIndex=" << cal.lScreenIndex << "\r\nlType=" << cal.lType
             << "\r\nExposure=" << exposure << "\r\n";
        for (unsigned i = 0; i < cal.lPtCount && i < 36; ++i) text << 'x' << i << '=' << cal.x[i] << "\r\ny" << i << '=' << cal.y[i] << "\r\n";
    }
    folder.Write("Calibration.ini", text.str());
}

void WriteFlashRecord(const ProgramFolder& folder, const _SCalibration& cal) {
    FlashCalibration copy;
    copy.pointCount = cal.lPtCount;
    CopyToFlash(cal, copy);
    uint8_t record[kFlashWriteBytes];
    ASSERT_TRUE(EncodeFlashRecord(copy, record));
    std::string image(8192, '\xFF');
    // The record runs past the end of the flash and continues at its start.
    for (size_t i = 0; i < sizeof(record); ++i) image[(kFlashRecordAddress + i) % image.size()] = static_cast<char>(record[i]);
    folder.Write("CameraFlash.bin", image);
}

PenControl::PenControl() {
    EXPECT_TRUE(m_block.Open());
    Clear();
}

void PenControl::Clear() {
    auto* block = Block();
    if (!block) return;
    for (auto& light : block->pens) light.down = 0;
    block->count = block->unplugged = block->deadStream = block->stalled = 0;
    std::memset(block->shift, 0, sizeof block->shift);
    Commit();
}

void PenControl::Shift(double dx, double dy, double degrees) {
    auto* block = Block();
    if (!block) return;
    block->shift[0] = {static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(degrees), 0};
    Commit();
}

void PenControl::Commit() {
    Block()->sequence = Block()->sequence + 1;
    MemoryBarrier();
}

void PenControl::Set(int light, bool lit, double x, double y, double sigma, double intensity) {
    auto* block = Block();
    if (!block) return;
    block->pens[light] = {lit ? 1 : 0, static_cast<float>(x), static_cast<float>(y), static_cast<float>(sigma),
                          static_cast<float>(intensity), 0};
    if (block->count < static_cast<uint32_t>(light + 1)) block->count = static_cast<uint32_t>(light + 1);
    Commit();
}

void PenControl::Up() {
    if (auto* block = Block()) block->pens[0].down = 0, Commit();
}

void PenControl::Stroke(double x, double y, double dx, double dy, int steps, DWORD firstMs) {
    for (int i = 0; i <= steps; ++i) {
        Down(x + i * dx, y + i * dy);
        Sleep(i ? 20 : firstMs);
    }
}

void PenControl::Mask(uint32_t tavori::vcam::PenBlock::*mask, int camera, bool on) {
    auto* block = Block();
    if (!block) return;
    block->*mask = on ? (block->*mask | 1u << camera) : (block->*mask & ~(1u << camera));
    Commit();
}

void PenControl::AnnounceArrival(HWND main) {
    DEV_BROADCAST_DEVICEINTERFACE_A arrival{};
    arrival.dbcc_size = sizeof arrival;
    arrival.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(main, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival), SMTO_ABORTIFHUNG,
                        2000, &result);
}

uint32_t FramesDelivered(int camera) {
    tavori::dev::PenBlockMapping block;  // held while read only: a block no one holds starts afresh
    if (!block.Open() || camera < 0 || camera >= tavori::vcam::kExposureSlots) return 0;
    return static_cast<volatile uint32_t*>(static_cast<tavori::vcam::PenBlock*>(block.View())->frames)[camera];
}

bool WaitForNewFrames(uint32_t count, int camera, DWORD timeoutMs) {
    const uint32_t from = FramesDelivered(camera);
    return WaitFor([&] { return FramesDelivered(camera) - from >= count; }, timeoutMs);
}

CameraPoints::CameraPoints(int camera, DWORD timeoutMs, bool ready, HWND reader) : m_camera(camera) {
    const std::string name = "Multi_Lumora_Mappfile_" + std::to_string(camera);
    const DWORD start = GetTickCount();
    auto left = [&] { return timeoutMs - std::min<DWORD>(timeoutMs, GetTickCount() - start); };
    if (!WaitFor([&] { return MappingExists(kMultiScreenName) && MappingExists(name.c_str()); }, left())) return;
    m_table = std::make_unique<SharedView>(kMultiScreenName, static_cast<DWORD>(sizeof(MultiScreenTable)));
    m_points = std::make_unique<SharedView>(name.c_str(), kPointShareSize);
    // The entry is made when the camera's calibration is applied, just after the buffer.
    if (!Table() || !WaitFor([&] { return Entry() >= 0; }, left()) || !ready) return;
    Table()->hReader[Entry()] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(reader));
    Table()->bReady[Entry()] = 1;
}

int ScreenEntry(const MultiScreenTable* t, int camera) {
    for (int i = 0; t && i < t->nCount && i < kMaxScreens; ++i)
        if (t->nCameraId[i] == camera) return i;
    return -1;
}

double CameraPoints::Nearest(double x, double y) const {
    double d = 1e9;
    for (const _SDetectPoint& p : All()) d = std::min(d, std::hypot(p.x - x, p.y - y));
    return d;
}

std::vector<_SDetectPoint> CameraPoints::All() const {
    std::vector<_SDetectPoint> all;
    const int n = Count();
    for (int k = 0; k < n && 1 + (k + 1) * sizeof(_SDetectPoint) <= kPointShareSize; ++k) {
        memcpy(&all.emplace_back(), m_points->As<uint8_t>() + 1 + k * sizeof(_SDetectPoint), sizeof(_SDetectPoint));
    }
    return all;
}

bool CameraPoints::Streaming(DWORD timeoutMs) const {
    if (!Ok()) return false;
    m_points->As<volatile uint8_t>()[0] = 0xEE;
    return WaitFor([&] { return Count() != 0xEE; }, timeoutMs);
}

}  // namespace e2e
