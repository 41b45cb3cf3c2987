#include "app/SceneNotices.h"

#include "capture/StrayLights.h"
#include "config/LangText.h"

namespace {
const std::string& Or(const std::string& text, const std::string& english) { return text.empty() ? english : text; }

const char* const kPlaces[kPlaceCount] = {
    "at the upper left of the screen", "at the top of the screen",    "at the upper right of the screen",
    "at the left of the screen",       "in the middle of the screen", "at the right of the screen",
    "at the lower left of the screen", "at the bottom of the screen", "at the lower right of the screen",
    "beside the screen",               "in the camera's view"};
}  // namespace

std::string CameraMovedTitle() { return Or(g_Lang.IDS_CAMERAMOVEDTITLE, "The camera has moved"); }

std::string CameraMovedText(int camera) {
    return LangFormat(g_Lang.IDS_CAMERAMOVED,
                      "Camera %s has moved since it was calibrated: the pen may miss. Click here to calibrate it again.",
                      std::to_string(camera));
}

std::string StrayLightTitle() { return Or(g_Lang.IDS_STRAYLIGHTTITLE, "A light in the camera's view"); }

std::string StrayLightText(int place) {
    const std::string* words[kPlaceCount] = {&g_Lang.IDS_LIGHTPLACE0, &g_Lang.IDS_LIGHTPLACE1, &g_Lang.IDS_LIGHTPLACE2,
                                             &g_Lang.IDS_LIGHTPLACE3, &g_Lang.IDS_LIGHTPLACE4, &g_Lang.IDS_LIGHTPLACE5,
                                             &g_Lang.IDS_LIGHTPLACE6, &g_Lang.IDS_LIGHTPLACE7, &g_Lang.IDS_LIGHTPLACE8,
                                             &g_Lang.IDS_LIGHTPLACEBESIDE, &g_Lang.IDS_LIGHTPLACEINVIEW};
    if (place < 0 || place >= kPlaceCount) place = kPlaceInView;
    return LangFormat(g_Lang.IDS_STRAYLIGHT,
                      "A fixed light (a lamp, a window in the sun) shines %s. The pen is not found there: move the "
                      "lamp or the camera, or shade the window.",
                      Or(*words[place], kPlaces[place]));
}
