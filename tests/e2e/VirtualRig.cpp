#include "VirtualRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "DriverHarness.h"
#include "storage/FlashRecord.h"

namespace e2e {

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

tavori::vcam::Config DefaultCamera() {
    tavori::vcam::Config c;
    c.hasScreenRect = true;
    c.rect[0] = 0;
    c.rect[1] = 0;
    c.rect[2] = ScreenWidth();
    c.rect[3] = ScreenHeight();
    return c;
}

void DeclareVirtualCameras(const ProgramFolder& folder, const std::string& sections) {
    folder.Write("VirtualCamera.ini", sections);
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
    // The screen grid of the calibration dialogs: cell (row, col) of an n x n grid.
    const int u = (10 * w) / (8 * n - 6), v = (10 * h) / (8 * n - 6);
    for (int i = 0; i < n * n; ++i) {
        int row = i / n, col = i % n;
        double sx = std::trunc(0.1 * u + 0.8 * col * u), sy = std::trunc(0.1 * v + 0.8 * row * v);
        double cx = 0, cy = 0;
        EXPECT_TRUE(model.Project(sx, sy, cx, cy));
        cal.x[i] = static_cast<uint32_t>(std::lround(cx));
        cal.y[i] = static_cast<uint32_t>(std::lround(cy));
    }
    return cal;
}

void WriteCalibrationIni(const ProgramFolder& folder, const _SCalibration& cal) {
    std::string text = "[Calibration]\r\n";
    char line[64];
    auto add = [&](const char* key, unsigned long value) {
        snprintf(line, sizeof(line), "%s=%lu\r\n", key, value);
        text += line;
    };
    add("lPtCount", cal.lPtCount);
    add("lWinLeft", cal.lWinLeft);
    add("lWinTop", cal.lWinTop);
    add("lWinWidth", cal.lWinWidth);
    add("lWinHeight", cal.lWinHeight);
    add("lScreenIndex", cal.lScreenIndex);
    add("lType", cal.lType);
    text += "Exposure=-8\r\n";
    for (unsigned i = 0; i < cal.lPtCount && i < 36; ++i) {
        snprintf(line, sizeof(line), "x%u=%lu\r\ny%u=%lu\r\n", i, static_cast<unsigned long>(cal.x[i]), i,
                 static_cast<unsigned long>(cal.y[i]));
        text += line;
    }
    folder.Write("Calibration.ini", text);
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
    // The block outlives a scenario while any process holds it: start each one clean.
    if (auto* block = static_cast<tavori::vcam::PenBlock*>(m_block.View())) {
        block->count = 0;
        block->unplugged = 0;
        Commit();
    }
}

void PenControl::Commit() {
    auto* block = static_cast<tavori::vcam::PenBlock*>(m_block.View());
    block->sequence = block->sequence + 1;
    MemoryBarrier();
}

void PenControl::Down(double x, double y) {
    auto* block = static_cast<tavori::vcam::PenBlock*>(m_block.View());
    if (!block) return;
    block->pens[0] = {1, static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f, 0};
    block->count = 1;
    Commit();
}

void PenControl::Up() {
    auto* block = static_cast<tavori::vcam::PenBlock*>(m_block.View());
    if (!block) return;
    block->pens[0].down = 0;
    block->count = 0;
    Commit();
}

void PenControl::Unplug(int camera) {
    auto* block = static_cast<tavori::vcam::PenBlock*>(m_block.View());
    if (!block) return;
    block->unplugged |= 1u << camera;
    Commit();
}

void PenControl::Plug(int camera) {
    auto* block = static_cast<tavori::vcam::PenBlock*>(m_block.View());
    if (!block) return;
    block->unplugged &= ~(1u << camera);
    Commit();
}

bool CalibratedDriver::Start(const char* settings) {
    folder.Write("Tavori.ini", settings);
    cal = CalibrationFromModel(DefaultCamera(), 5);
    WriteCalibrationIni(folder, cal);
    if (!driver.Start(folder)) return false;
    main = driver.WaitForMainWindow();
    return main != nullptr;
}

bool CalibratedDriver::WaitUntilDetecting() const {
    if (!WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 10000)) return false;
    Sleep(2000);
    return true;
}

void CalibratedDriver::Quit() const { PostMessageA(main, WM_COMMAND, 2035, 0); }

}  // namespace e2e
